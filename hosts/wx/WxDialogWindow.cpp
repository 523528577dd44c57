#include "hosts/wx/WxDialogWindow.h"

#include <wx/menu.h>

#include "app/MainDialog.h"
#include "app/Resources.h"
#include "hosts/wx/DialogFont.h"
#include "hosts/wx/IconBitmaps.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/MainWindowAids.h"
#include "hosts/wx/WidgetFactory.h"
#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxHost.h"
#include "platform/window/Dialog.h"
#include "platform/window/OperatorInput.h"

namespace {

// Window-menu items are numbered from here in the popup menu.
constexpr int kFirstMenuId = wxID_HIGHEST + 100;

long StyleOf(CDialog& dialog) {
    const long fixed = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
    return dynamic_cast<CMainDialog*>(&dialog) != nullptr ? fixed | wxRESIZE_BORDER | wxMAXIMIZE_BOX
                                                          : fixed;
}

wxSize ClientSizeOf(CDialog& dialog) {
    const WindowPlacement p = dialog.GetPlacement();
    return wxSize(p.cx, p.cy);
}

}  // namespace

WxDialogWindow::WxDialogWindow(wxWindow* parent, CDialog& dialog)
    : wxDialog(parent, wxID_ANY, ToWx(dialog.GetWindowText()), wxDefaultPosition, wxDefaultSize,
               StyleOf(dialog)),
      m_dialog(dialog) {
    SetFont(TemplateDialogFont());
    SetClientSize(ClientSizeOf(dialog));
    for (HWND child : dialog.GetChildren()) {
        if (CWnd* control = CWnd::FromHandle(child)) {
            m_bindings.push_back(MakeBoundWidget(*control, this));
            m_bindings.back()->Sync(*control);
        }
    }
    if (auto* main = dynamic_cast<CMainDialog*>(&dialog)) {
        m_aids = std::make_unique<MainWindowAids>(*this, *main);
        if (auto* log = dynamic_cast<LogView*>(Binding(IDC_LOG))) {
            log->SetSaveAction([this] { m_aids->SaveLog(); });
        }
    }
    dialog.AddObserver(this);
    m_observing = true;
    Bind(wxEVT_CHAR_HOOK, &WxDialogWindow::OnCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &WxDialogWindow::OnClose, this);
    Bind(wxEVT_CONTEXT_MENU, &WxDialogWindow::OnContextMenu, this);
    CentreOnScreen();
}

WxDialogWindow::~WxDialogWindow() {
    Unbind();
}

void WxDialogWindow::Unbind() {
    if (m_aids) {
        m_aids->Remember();
        m_aids.reset();
    }
    m_bindings.clear();
    if (m_observing) {
        if (CWnd::FromHandle(m_dialog.m_hWnd) != nullptr) {
            m_dialog.RemoveObserver(this);
        }
        m_observing = false;
    }
}

void WxDialogWindow::SyncFromModel() {
    for (auto& binding : m_bindings) {
        if (CWnd* model = binding->Model()) {
            binding->Sync(*model);
        }
    }
    OnTextChanged(m_dialog);
    OnIconChanged(m_dialog);
    if (m_aids) {
        m_aids->Restore();
    }
}

WidgetBinding* WxDialogWindow::Binding(int id) const {
    for (const auto& binding : m_bindings) {
        CWnd* model = binding->Model();
        if (model != nullptr && model->GetDlgCtrlID() == id) {
            return binding.get();
        }
    }
    return nullptr;
}

void WxDialogWindow::OnTextChanged(CWnd& model) {
    SetTitle(ToWx(model.GetWindowText()));
}

void WxDialogWindow::OnIconChanged(CWnd&) {
    HICON icon = m_dialog.GetIcon(1);
    if (icon == kNoIcon) {
        icon = m_dialog.GetIcon(0);
    }
    const wxIconBundle bundle = IconBundleFrom(icon);
    if (!bundle.IsEmpty()) {
        SetIcons(bundle);
    }
}

void WxDialogWindow::PressKey(int virtualKey) {
    CWnd* focus = nullptr;
    if (wxWindow* focused = wxWindow::FindFocus()) {
        for (const auto& binding : m_bindings) {
            if (binding->Widget() == focused) {
                focus = binding->Model();
            }
        }
    }
    ::PressKey(m_dialog, static_cast<WPARAM>(virtualKey), focus);
    WxHost::AfterInput();
}

void WxDialogWindow::OnCharHook(wxKeyEvent& event) {
    const int key = event.GetKeyCode();
    if (key == WXK_ESCAPE) {
        PressKey(VK_ESCAPE);
    } else if (key == WXK_RETURN || key == WXK_NUMPAD_ENTER) {
        PressKey(VK_RETURN);
    } else if (key == WXK_SPACE && event.GetModifiers() == wxMOD_ALT) {
        ShowWindowMenu(wxPoint(0, 0));
    } else if (m_aids && (key == 'S' || key == 's') && event.GetModifiers() == wxMOD_CONTROL) {
        m_aids->SaveLog();
    } else {
        // Tab, arrows and the rest keep their usual meaning in the widgets.
        event.Skip();
    }
}

void WxDialogWindow::OnClose(wxCloseEvent& event) {
    PressCloseBox(m_dialog);
    WxHost::AfterInput();
    if (!m_dialog.HasEnded() && event.CanVeto()) {
        event.Veto();
    }
}

void WxDialogWindow::OnContextMenu(wxContextMenuEvent& event) {
    // The log keeps its own menu (copy, select all).
    if (const auto* binding = Binding(IDC_LOG);
        binding != nullptr && event.GetEventObject() == binding->Widget()) {
        event.Skip();
        return;
    }
    wxPoint where = event.GetPosition();
    where = where == wxDefaultPosition ? wxPoint(0, 0) : ScreenToClient(where);
    ShowWindowMenu(where);
}

void WxDialogWindow::ShowWindowMenu(const wxPoint& where) {
    CMenu* systemMenu = m_dialog.GetSystemMenu(0);
    if (systemMenu == nullptr) {
        return;
    }
    wxMenu menu;
    const std::vector<MenuItem>& items = systemMenu->Items();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if ((items[i].flags & MF_SEPARATOR) != 0) {
            menu.AppendSeparator();
        } else {
            menu.Append(kFirstMenuId + static_cast<int>(i), ToWx(items[i].text));
        }
    }
    const int chosen = GetPopupMenuSelectionFromUser(menu, where);
    if (chosen >= kFirstMenuId && chosen < kFirstMenuId + static_cast<int>(items.size())) {
        ChooseMenuCommand(static_cast<unsigned>(items[chosen - kFirstMenuId].id));
    }
}

void WxDialogWindow::ChooseMenuCommand(unsigned id) {
    ChooseSystemMenuItem(m_dialog, id);
    WxHost::AfterInput();
}
