#pragma once

#include <cstddef>

// The store reads its file in pieces of at most this many bytes, the line feed included (a
// 1024-byte line buffer with its terminator). A longer physical line is read as several lines.
inline constexpr std::size_t kIniReadPiece = 1023;

// The longest line `Save` writes, line feed not counted. A line of exactly kIniReadPiece bytes
// still reads back whole: its line end then reads as an empty line of its own.
inline constexpr std::size_t kIniMaxWrittenLine = kIniReadPiece;
