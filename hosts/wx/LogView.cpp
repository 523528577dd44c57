#include "hosts/wx/LogView.h"

#include <wx/textctrl.h>

#include "hosts/wx/UiCalls.h"
#include "hosts/wx/WxFonts.h"

namespace {

wxTextCtrl* MakeWidget(wxWindow* parent) {
    // Lines are not wrapped (the template scrolls horizontally), which also keeps the layout of
    // a long log cheap.
    auto* text = new wxTextCtrl(
        parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
        wxTE_MULTILINE | wxTE_READONLY | wxTE_RICH2 | wxTE_DONTWRAP | wxHSCROLL | wxVSCROLL);
    return text;
}

}  // namespace

LogView::LogView(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeWidget(parent)), m_self(std::make_shared<LogView*>(this)) {}

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
