#include "hosts/wx/LogView.h"

#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/textctrl.h>

#include "hosts/wx/UiCalls.h"
#include "hosts/wx/WxFonts.h"

namespace {

wxTextCtrl* MakeLogText(wxWindow* parent) {
    // Lines are not wrapped (the template scrolls horizontally), which also keeps the layout of
    // a long log cheap.
    auto* text = new wxTextCtrl(
        parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
        wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxTE_DONTWRAP | wxHSCROLL | wxVSCROLL);
    // The dialog's size of letters, in a face whose columns line up.
    const wxFont dialogFont = parent->GetFont();
    text->SetFont(wxFont(wxFontInfo(dialogFont.GetPointSize()).Family(wxFONTFAMILY_TELETYPE)));
    return text;
}

}  // namespace

LogView::LogView(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeLogText(parent)), m_self(std::make_shared<LogView*>(this)) {
    // The widget may outlive this binding by a little while the window is torn down (a focus
    // change then still arrives): each handler finds out whether the view is still there.
    std::weak_ptr<LogView*> self = m_self;
    auto alive = [self]() -> LogView* {
        auto view = self.lock();
        return view ? *view : nullptr;
    };
    // The toolkit's own menu of a text field offers text entry (emoji, input methods): handled
    // here, it never opens.
    Text()->Bind(wxEVT_RIGHT_DOWN, [alive](wxMouseEvent& event) {
        if (LogView* view = alive()) {
            view->ShowMenu(event.GetPosition());
        }
    });
    Text()->Bind(wxEVT_CONTEXT_MENU, [alive](wxContextMenuEvent&) {
        if (LogView* view = alive()) {
            view->ShowMenu(wxPoint(0, 0));
        }
    });
    // A read-only text shows no caret worth the name and the theme draws no ring around it:
    // its ground turns the selection's tint while it has the focus, so that Tab shows where
    // it went.
    Text()->Bind(wxEVT_SET_FOCUS, [alive](wxFocusEvent& event) {
        if (LogView* view = alive()) {
            view->ShowFocus(true);
        }
        event.Skip();
    });
    Text()->Bind(wxEVT_KILL_FOCUS, [alive](wxFocusEvent& event) {
        if (LogView* view = alive()) {
            view->ShowFocus(false);
        }
        event.Skip();
    });
    Text()->Bind(wxEVT_KEY_DOWN, [alive](wxKeyEvent& event) {
        LogView* view = alive();
        if (view != nullptr &&
            (event.GetKeyCode() == WXK_MENU ||
             (event.GetKeyCode() == WXK_F10 && event.GetModifiers() == wxMOD_SHIFT))) {
            view->ShowMenu(wxPoint(0, 0));
        } else {
            event.Skip();
        }
    });
}

namespace {

enum { kCopy = wxID_HIGHEST + 1, kSelectAll, kSave };

}  // namespace

void LogView::BuildMenu(wxMenu& menu) const {
    menu.Append(kCopy, "&Copy");
    menu.Enable(kCopy, Text()->CanCopy());
    menu.Append(kSelectAll, "Select &All");
    if (m_save) {
        menu.AppendSeparator();
        menu.Append(kSave, wxString::FromUTF8("&Save Log As\xE2\x80\xA6\tCtrl+S"));
    }
}

std::vector<std::string> LogView::MenuItems() const {
    wxMenu menu;
    BuildMenu(menu);
    std::vector<std::string> items;
    for (const wxMenuItem* item : menu.GetMenuItems()) {
        items.push_back(item->IsSeparator() ? std::string("-") : FromWx(item->GetItemLabel()));
    }
    return items;
}

void LogView::ShowFocus(bool focused) {
    if (focused) {
        const wxColour base = wxSystemSettings::GetColour(wxSYS_COLOUR_WINDOW);
        const wxColour tint = wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT);
        // One part tint to five of the usual ground: plainly different, the text still clear.
        auto mix = [](int a, int b) { return static_cast<unsigned char>((5 * a + b) / 6); };
        Text()->SetBackgroundColour(wxColour(mix(base.Red(), tint.Red()),
                                             mix(base.Green(), tint.Green()),
                                             mix(base.Blue(), tint.Blue())));
    } else {
        Text()->SetBackgroundColour(wxNullColour);
    }
    Text()->Refresh();
}

void LogView::ShowMenu(const wxPoint& where) {
    wxMenu menu;
    BuildMenu(menu);
    const int chosen = Text()->GetPopupMenuSelectionFromUser(menu, where);
    if (chosen == kCopy) {
        Text()->Copy();
    } else if (chosen == kSelectAll) {
        Text()->SetFocus();
        Text()->SelectAll();
    } else if (chosen == kSave && m_save) {
        m_save();
    }
}

std::string LogView::ShownText() const {
    return FromWx(Text()->GetValue());
}

LogView::~LogView() {
    *m_self = nullptr;
}

wxTextCtrl* LogView::Text() const {
    return static_cast<wxTextCtrl*>(Widget());
}

void LogView::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    Rebuild(model);
}

void LogView::Rebuild(CWnd& model) {
    m_decoder = LogTextDecoder{};
    const std::string bytes = model.GetWindowText();
    m_bytesSeen = bytes.size();
    const std::string text = m_decoder.Feed(bytes);
    m_gathered.clear();
    Text()->ChangeValue(wxString::FromUTF8(text.data(), text.size()));
    m_scrollWanted = true;
    ScheduleFlush();
}

void LogView::OnTextChanged(CWnd& model) {
    Rebuild(model);
}

void LogView::OnTextInserted(CWnd& model, std::size_t position, std::size_t replacedLength,
                             std::string_view text) {
    if (position != m_bytesSeen || replacedLength != 0) {
        Rebuild(model);
        return;
    }
    m_bytesSeen += text.size();
    m_gathered += m_decoder.Feed(text);
    ScheduleFlush();
}

void LogView::OnScrolledToBottom(CWnd&) {
    m_scrollWanted = true;
    ScheduleFlush();
}

void LogView::ScheduleFlush() {
    if (m_flushScheduled) {
        return;
    }
    std::weak_ptr<LogView*> self = m_self;
    m_flushScheduled = CallOnUiThread([self] {
        if (auto alive = self.lock(); alive && *alive != nullptr) {
            (*alive)->Flush();
        }
    });
    if (!m_flushScheduled) {
        Flush();  // no event loop to wait for (the application is going)
    }
}

void LogView::Flush() {
    m_flushScheduled = false;
    if (!m_gathered.empty()) {
        Text()->AppendText(wxString::FromUTF8(m_gathered.data(), m_gathered.size()));
        m_gathered.clear();
    }
    if (m_scrollWanted) {
        m_scrollWanted = false;
        Text()->ShowPosition(Text()->GetLastPosition());
    }
}
