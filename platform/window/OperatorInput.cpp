#include "platform/window/OperatorInput.h"

#include "platform/window/Dialog.h"

namespace {

bool Reachable(const CWnd& control) {
    return control.IsWindowEnabled() != 0 && control.IsWindowVisible() != 0;
}

void NotifyParent(CWnd& control, UINT code) {
    if (CWnd* parent = control.GetParent()) {
        const WPARAM wParam =
            MAKEWPARAM(static_cast<WORD>(control.GetDlgCtrlID()), static_cast<WORD>(code));
        parent->SendMessage(WM_COMMAND, wParam, static_cast<LPARAM>(control.m_hWnd));
    }
}

}  // namespace

bool ClickButton(CWnd& button) {
    if (!Reachable(button)) {
        return false;
    }
    if ((button.GetStyle() & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        const LRESULT check = button.SendMessage(BM_GETCHECK);
        button.SendMessage(BM_SETCHECK, check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    }
    NotifyParent(button, BN_CLICKED);
    return true;
}

bool ChooseComboEntry(CWnd& combo, int index) {
    if (!Reachable(combo) || index < 0 || index >= combo.SendMessage(CB_GETCOUNT)) {
        return false;
    }
    combo.SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index));
    NotifyParent(combo, CBN_SELCHANGE);
    return true;
}

void PressKey(CDialog& dialog, WPARAM virtualKey, CWnd* focus) {
    const HWND target = focus != nullptr ? focus->m_hWnd : dialog.m_hWnd;
    dialog.RouteMessage(MSG{target, WM_KEYDOWN, virtualKey, 0});
}

void PressCloseBox(CDialog& dialog) {
    dialog.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
}

void ChooseSystemMenuItem(CDialog& dialog, UINT_PTR id) {
    dialog.SendMessage(WM_SYSCOMMAND, id, 0);
}
