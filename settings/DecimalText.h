#pragma once

// Numbers as the store keeps them: decimal text.

#include <string_view>

// Reads `text` as atol does: leading white space, an optional sign, then the decimal digits that
// follow; anything after them is ignored and no digits give 0. A number beyond the 32-bit range
// gives the nearest end of that range, as a 32-bit atol does, rather than wrapping.
int ReadDecimal(std::string_view text);
