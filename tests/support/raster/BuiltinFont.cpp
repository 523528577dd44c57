#include "tests/support/raster/BuiltinFont.h"

#include <cstdlib>

#include "tests/support/raster/BuiltinFontGlyphs.h"

int BuiltinFont::Scale(const LOGFONT& font) {
    // A negative height asks for the character height, a positive one for the cell; this face
    // has only cells, so both read as the cell. Rounding keeps 13 +- 6 at the base size.
    const int height = std::abs(font.lfHeight);
    const int scale = (height + kCellHeight / 2) / kCellHeight;
    return scale < 1 ? 1 : scale;
}

SIZE BuiltinFont::Measure(const LOGFONT& font, const std::string& text) {
    const int scale = Scale(font);
    return SIZE{static_cast<LONG>(text.size()) * kCellWidth * scale, kCellHeight * scale};
}

bool BuiltinFont::Ink(unsigned char c, int column, int row) {
    if (column < 0 || column >= 5 || row < 0 || row >= kCellHeight) {
        return false;
    }
    const GlyphRows& rows = GlyphFor(c);
    return (rows[static_cast<std::size_t>(row)] >> (4 - column)) & 1;
}
