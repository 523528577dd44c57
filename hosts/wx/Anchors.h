#pragma once

// How the main window's controls follow a resize. The template gives every control a place in a
// window of fixed size; a larger window hands its extra room to the log, and each other control
// keeps its distance to the edges it sits by: the bottom row (START, EXIT) stays at the bottom,
// the right-hand column (port list, lamps, "...") at the right, and the path field and the
// progress bar stretch across. Other dialogs (the About box) keep the template's size.
//
// Threading rules: none; plain functions.

#include "platform/window/WindowPlacement.h"

struct Anchor {
    bool moveX = false;  // keeps its distance to the right edge
    bool moveY = false;  // keeps its distance to the bottom edge
    bool growX = false;  // takes the extra width
    bool growY = false;  // takes the extra height
};

// The anchor of control `controlId` (placed at `p` in a client area `dialogWidth` wide) in
// dialog `dialogId`.
Anchor AnchorOf(unsigned dialogId, int controlId, const WindowPlacement& p, int dialogWidth);

// `p` in a client area `extraX` wider and `extraY` taller than the template's.
WindowPlacement Anchored(const WindowPlacement& p, Anchor anchor, int extraX, int extraY);
