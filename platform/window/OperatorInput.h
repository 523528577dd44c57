#pragma once

// What the operator does, as the messages Windows would produce for it. Hosts call these from
// their widgets' events; tests call them to drive a dialog.

#include "platform/base/Win32Types.h"

class CWnd;
class CDialog;

// A click on a button: a check box toggles first; then the parent gets WM_COMMAND
// (id, BN_CLICKED). A disabled or hidden control ignores the click; answers whether it counted.
bool ClickButton(CWnd& button);
// Choosing entry `index` of a combo box: the selection changes, then the parent gets
// WM_COMMAND (id, CBN_SELCHANGE). A disabled combo box or an index outside the list does nothing.
bool ChooseComboEntry(CWnd& combo, int index);
// A key press (WM_KEYDOWN) aimed at `focus` (or the dialog): through the dialog's
// PreTranslateMessage, then, unless swallowed, the dialog's keyboard handling.
void PressKey(CDialog& dialog, WPARAM virtualKey, CWnd* focus = nullptr);
// The close box (and Alt+F4): the window menu's Close command.
void PressCloseBox(CDialog& dialog);
// An item of the window menu: WM_SYSCOMMAND with its id.
void ChooseSystemMenuItem(CDialog& dialog, UINT_PTR id);
