#pragma once

// A picture of a window as the display shows it, written as a PNG: the window's client area read
// back from the screen, so what the operator sees (the widgets as the toolkit drew them, the bar
// as the model painted it) is what the file holds.
//
// Threading rules: UI thread only.

#include <string>

class wxWindow;

bool CaptureClientArea(wxWindow* window, const std::string& path);
