#pragma once

// The software raster's font: one fixed-width face in cells of 6 x 13 pixels, printable ASCII
// drawn as 5 x 7 glyphs with two rows of descender; any other byte draws as a box so that a
// wrong byte is visible instead of silently missing. Any LOGFONT maps to this face: a height of
// two cells or more scales the cells by whole pixels, anything smaller draws at the base size.

#include <cstdint>
#include <string>

#include "platform/gdi/GdiTypes.h"

class BuiltinFont {
  public:
    static constexpr int kCellWidth = 6;
    static constexpr int kCellHeight = 13;

    // Whole-pixel magnification for a requested font.
    static int Scale(const LOGFONT& font);
    // cx: cell width times length; cy: cell height (both scaled).
    static SIZE Measure(const LOGFONT& font, const std::string& text);
    // Whether pixel (column, row) of the unscaled cell of byte `c` is ink.
    static bool Ink(unsigned char c, int column, int row);
};
