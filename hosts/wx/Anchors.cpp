#include "hosts/wx/Anchors.h"

#include "app/Resources.h"

Anchor AnchorOf(unsigned dialogId, int controlId, const WindowPlacement& p, int dialogWidth) {
    if (dialogId != IDD_STAVEL_OV_DIALOG) {
        return {};
    }
    switch (controlId) {
        case IDOK:
            return {.moveX = true, .moveY = true};
        case IDC_BTN_START:
            return {.moveY = true};
        case IDC_LOG:
            return {.growX = true, .growY = true};
        case IDC_EDIT_PATH:
        case IDC_PROGRESS:
            return {.growX = true};
        case IDC_COMBO_PORT:
        case IDC_BTN_BROWSE:
        case IDC_LAMP_GREEN:
        case IDC_LAMP_RED:
            return {.moveX = true};
        default:
            // Unnumbered texts go with the side they stand on ("Serial Port :" by the port list).
            return {.moveX = p.x > dialogWidth / 2};
    }
}

WindowPlacement Anchored(const WindowPlacement& p, Anchor anchor, int extraX, int extraY) {
    WindowPlacement out = p;
    out.x += anchor.moveX ? extraX : 0;
    out.y += anchor.moveY ? extraY : 0;
    out.cx += anchor.growX ? extraX : 0;
    out.cy += anchor.growY ? extraY : 0;
    return out;
}
