#pragma once

// Whole-character work on byte strings in a code set (see CodeSet.h). Positions and lengths are
// in bytes; a "character" is what the code set makes of the bytes at a position:
//   - in Cp949 a lead byte (0x81..0xFE) and the byte after it, or the lead byte alone at the end;
//   - otherwise a single byte. UTF-8 needs no more than that here: the callers look for, fold and
//     cut at ASCII characters, and an ASCII byte is always a whole UTF-8 character.
//
// Every function takes the code set explicitly and defaults to ActiveCodeSet().

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"

// True when `byte` starts a double-byte character in `codeSet`.
bool IsLeadByte(unsigned char byte, CodeSet codeSet = ActiveCodeSet());

// The number of bytes (1 or 2) of the character that starts at `pos` (< text.size()).
std::size_t CharLength(std::string_view text, std::size_t pos, CodeSet codeSet = ActiveCodeSet());

// Lower-cases the single-byte capitals A..Z; every other character, and both bytes of a
// double-byte character, stay as they are.
std::string FoldLower(std::string_view text, CodeSet codeSet = ActiveCodeSet());

// The position of the first or last whole character equal to `c`, or std::string_view::npos.
// A trail byte that happens to equal `c` never counts.
std::size_t FindFirstChar(std::string_view text, char c, CodeSet codeSet = ActiveCodeSet());
std::size_t FindLastChar(std::string_view text, char c, CodeSet codeSet = ActiveCodeSet());

// The longest prefix of `text` of at most `maxBytes` bytes that ends on a character boundary:
// the place to cut a text without splitting a character.
std::size_t CharBoundaryAtOrBefore(std::string_view text, std::size_t maxBytes,
                                   CodeSet codeSet = ActiveCodeSet());
