#pragma once

// A picture of a window as the display shows it, written as a PNG: the window's client area read
// back from the display, so what the operator sees (the widgets as the toolkit drew them, the bar
// as the model painted it) is what the file holds. It is read through the window itself: a copy
// from the whole screen stopped the toolkit from painting the window again.
//
// Threading rules: UI thread only.

#include <string>

class wxWindow;

bool CaptureClientArea(wxWindow* window, const std::string& path);
