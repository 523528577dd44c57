#include <utility>

#include "app/DialogTemplates.h"

#include "app/Resources.h"
#include "platform/window/DialogTemplate.h"
#include "platform/window/WindowMessages.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

DialogItemTemplate Item(int id, ControlKind kind, const char* text, short x, short y, short cx,
                        short cy, DWORD style, int iconId = 0) {
    DialogItemTemplate item;
    item.id = id;
    item.kind = kind;
    item.text = text;
    item.iconId = iconId;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    item.style = kChild | style;
    return item;
}

DialogTemplate MainDialogTemplate() {
    DialogTemplate t;
    t.id = IDD_STAVEL_OV_DIALOG;
    t.caption = "Stavel for Orvanta v1.0";
    t.cx = 319;
    t.cy = 291;
    t.fontFace = "MS Sans Serif";
    t.pointSize = 8;
    t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    t.exStyle = WS_EX_APPWINDOW;
    t.items = {
        Item(IDOK, ControlKind::Button, "EXIT", 262, 262, 50, 22, BS_DEFPUSHBUTTON | WS_TABSTOP),
        Item(IDC_BTN_START, ControlKind::Button, "START", 7, 262, 129, 22,
             BS_PUSHBUTTON | WS_TABSTOP),
        Item(IDC_LOG, ControlKind::RichEdit, "", 7, 79, 305, 179,
             ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_BORDER |
                 WS_TABSTOP),
        Item(IDC_STATIC, ControlKind::Static, "Serial Port :", 193, 35, 39, 8, SS_LEFT | WS_GROUP),
        Item(IDC_COMBO_PORT, ControlKind::ComboBox, "", 236, 33, 52, 277,
             CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP),
        Item(IDC_EDIT_PATH, ControlKind::Edit, "", 7, 7, 286, 13,
             ES_READONLY | WS_BORDER | WS_TABSTOP),
        Item(IDC_BTN_BROWSE, ControlKind::Button, "...", 294, 7, 18, 13,
             BS_PUSHBUTTON | WS_TABSTOP),
        Item(IDC_LAMP_GREEN, ControlKind::StaticIcon, "", 294, 34, 20, 20,
             SS_ICON | SS_REALSIZEIMAGE, IDI_LAMP_GREEN),
        Item(IDC_LAMP_RED, ControlKind::StaticIcon, "", 294, 34, 20, 20, SS_ICON | SS_REALSIZEIMAGE,
             IDI_LAMP_RED),
        Item(IDC_PROGRESS, ControlKind::Progress, "Progress1", 7, 59, 305, 18,
             PBS_SMOOTH | WS_BORDER),
        Item(IDC_CHK_DEBUG, ControlKind::CheckBox, "Debug Mode Enable", 7, 35, 80, 10,
             BS_AUTOCHECKBOX | WS_TABSTOP),
    };
    return t;
}

DialogTemplate AboutTemplate() {
    DialogTemplate t;
    t.id = IDD_ABOUTBOX;
    t.caption = "About Stavel_OV";
    t.cx = 235;
    t.cy = 55;
    t.fontFace = "MS Sans Serif";
    t.pointSize = 8;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    t.items = {
        Item(IDC_STATIC, ControlKind::StaticIcon, "", 11, 17, 20, 20, SS_ICON, IDR_MAINFRAME),
        Item(IDC_STATIC, ControlKind::Static, "Stavel_OV Version 1.0", 40, 10, 119, 8,
             SS_LEFT | SS_NOPREFIX),
        Item(IDOK, ControlKind::Button, "OK", 178, 7, 50, 14,
             BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP),
    };
    return t;
}

}  // namespace

void RegisterDialogTemplates() {
    RegisterDialogTemplate(MainDialogTemplate());
    RegisterDialogTemplate(AboutTemplate());
}
