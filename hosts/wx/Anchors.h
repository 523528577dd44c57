#pragma once

// How the main window's controls follow a resize. The template gives every control a place in a
// window of fixed size; a larger window shares its extra room out (ShareOut):
//   - the verdict's rows below the lamp take a quarter of the extra height, so that the verdict
//     grows with the window, and always room for two lines of its text below the port list, so
//     that its line can wrap; what lies below them (the progress bar, the log) moves down;
//   - the port list widens to the left as far as its entries need, up to half the extra width,
//     and "Serial Port :" moves with it;
//   - the log takes the rest. Every other control keeps its distance to the edges it sits by:
//     the bottom row (START, EXIT) stays at the bottom, the right-hand column (port list, lamps,
//     "...") at the right, and the path field and the progress bar stretch across.
// Other dialogs (the About box) keep the template's size.
//
// Threading rules: none; plain functions.

#include "platform/window/DialogTemplate.h"
#include "platform/window/WindowPlacement.h"

struct Anchor {
    bool moveX = false;         // keeps its distance to the right edge
    bool moveY = false;         // keeps its distance to the bottom edge
    bool growX = false;         // takes the extra width
    bool growY = false;         // takes the extra height, less what the verdict's rows take
    bool belowVerdict = false;  // moves down with the verdict's rows
    bool byPortList = false;    // moves left as the port list widens
    bool portList = false;      // widens with the port list
};

// What a client area larger than the template's gives each part.
struct Growth {
    int x = 0;         // the extra width
    int y = 0;         // the extra height
    int verdict = 0;   // the verdict rows' room beyond the template's
    int portList = 0;  // the port list's extra width
};

// The anchor of control `controlId` (placed at `p` in a client area `dialogWidth` wide) in
// dialog `dialogId`.
Anchor AnchorOf(unsigned dialogId, int controlId, const WindowPlacement& p, int dialogWidth);

// The shares of a client area `extraX` wider and `extraY` taller than the template's, for a port
// list that needs `portNeed` pixels more than the template gives it to show its entries whole.
Growth ShareOut(int extraX, int extraY, int portNeed, const DialogBaseUnits& units);

// `p` in a client area grown by `growth`.
WindowPlacement Anchored(const WindowPlacement& p, Anchor anchor, const Growth& growth);

// The verdict's word (beside the port list, in the lamp's rows) and its line (below, across
// the window, above the progress bar). The line also starts below `rowBottom`, the lowest edge of
// the port list's row, which a toolkit may draw taller than the template's rows.
struct VerdictPlaces {
    WindowPlacement word;
    WindowPlacement line;
};
VerdictPlaces PlaceVerdict(const Growth& growth, int rowBottom, const DialogBaseUnits& units);
