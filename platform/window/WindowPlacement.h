#pragma once

// Where a window sits in its parent's client area, in pixels.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};
