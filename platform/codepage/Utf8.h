#pragma once

// UTF-8 as the standard defines it: overlong forms, surrogates and code points past U+10FFFF
// are not characters. The one place that decides it, for the terminal's escaping and the
// report's JSON alike.

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr std::ptrdiff_t kUtf8Incomplete = -1;

// The length of the valid UTF-8 sequence at `pos`: 1..4; 0 when the bytes there are not one;
// kUtf8Incomplete when they are a valid start that the text ends before finishing.
std::ptrdiff_t Utf8SequenceLength(std::string_view text, std::size_t pos);

// `text` cut to at most `most` bytes, at a character's start, so that a text from outside costs a
// bounded amount and never ends in half a character.
std::string CutText(const std::string& text, std::size_t most);
