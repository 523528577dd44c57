#pragma once

// The glyph drawings of the built-in font, kept apart from the code that reads them.

#include <array>
#include <cstdint>

// One cell as 13 rows of ink bits; bit 4 is the leftmost column.
using GlyphRows = std::array<std::uint8_t, 13>;

// The cell of byte `c`: its glyph for printable ASCII, a box for every other byte.
const GlyphRows& GlyphFor(unsigned char c);
