#include "hosts/wx/Anchors.h"

#include <algorithm>

#include "app/Resources.h"

namespace {

// In dialog units: the verdict's word beside the lamp's rows, the line below it, and the
// progress bar the line ends above.
constexpr int kWordX = 92, kWordY = 22, kWordCx = 96, kWordCy = 24;
constexpr int kLineX = 7, kLineCx = 305, kBarY = 59;
// The line's room beyond the template's, so that two lines of the dialog's font fit below a port
// list as tall as GTK draws it.
constexpr int kVerdictRoom = 16;
// Beyond this the log needs the height more than the verdict does.
constexpr int kVerdictGrowthMax = 120;

int Pixels(int dialogUnitsY, const DialogBaseUnits& units) {
    return MapDialogRect(0, 0, 0, dialogUnitsY, units).cy;
}

}  // namespace

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
            return {.growX = true, .growY = true, .belowVerdict = true};
        case IDC_EDIT_PATH:
            return {.growX = true};
        case IDC_PROGRESS:
            return {.growX = true, .belowVerdict = true};
        case IDC_COMBO_PORT:
            return {.moveX = true, .byPortList = true, .portList = true};
        case IDC_BTN_BROWSE:
        case IDC_LAMP_GREEN:
        case IDC_LAMP_RED:
            return {.moveX = true};
        default:
            // Unnumbered texts go with the side they stand on ("Serial Port :" by the port list).
            return p.x > dialogWidth / 2 ? Anchor{.moveX = true, .byPortList = true} : Anchor{};
    }
}

Growth ShareOut(int extraX, int extraY, int portNeed, const DialogBaseUnits& units) {
    Growth growth;
    growth.x = std::max(0, extraX);
    growth.y = std::max(0, extraY);
    growth.verdict =
        Pixels(kVerdictRoom, units) + std::min(growth.y / 4, Pixels(kVerdictGrowthMax, units));
    growth.portList = std::clamp(portNeed, 0, growth.x / 2);
    return growth;
}

WindowPlacement Anchored(const WindowPlacement& p, Anchor anchor, const Growth& growth) {
    WindowPlacement out = p;
    out.x += (anchor.moveX ? growth.x : 0) - (anchor.byPortList ? growth.portList : 0);
    out.y += (anchor.moveY ? growth.y : 0) + (anchor.belowVerdict ? growth.verdict : 0);
    out.cx += (anchor.growX ? growth.x : 0) + (anchor.portList ? growth.portList : 0);
    out.cy += anchor.growY ? growth.y - (anchor.belowVerdict ? growth.verdict : 0) : 0;
    return out;
}

VerdictPlaces PlaceVerdict(const Growth& growth, int rowBottom, const DialogBaseUnits& units) {
    // The word takes two thirds of the rows' growth, the line the rest.
    const int wordGrowth = (growth.verdict - Pixels(kVerdictRoom, units)) * 2 / 3;
    const int gap = Pixels(1, units);
    VerdictPlaces places;
    places.word = MapDialogRect(kWordX, kWordY, kWordCx, kWordCy, units);
    places.word.cx += growth.x - growth.portList;
    places.word.cy += wordGrowth;
    const WindowPlacement bar = MapDialogRect(kLineX, kBarY, kLineCx, 0, units);
    places.line.x = bar.x;
    places.line.y = std::max(places.word.y + places.word.cy, rowBottom) + gap;
    places.line.cx = bar.cx + growth.x;
    places.line.cy = std::max(0, bar.y + growth.verdict - gap - places.line.y);
    return places;
}
