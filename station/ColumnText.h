#pragma once

// Text in the fixed columns of a terminal's table (the station's table, --watch): characters
// counted as a terminal shows them (a UTF-8 sequence is one), long names shortened for the eye
// only (files, records and topics keep the whole name), and the figures in a few characters.

#include <cstddef>
#include <string>

// `text` in at most `width` characters: a longer one keeps its start and its end with "…" in
// between.
std::string ShortenMiddle(const std::string& text, std::size_t width);

// `text` in `width` characters, padded; a longer one cut at its end with "…".
std::string Column(const std::string& text, std::size_t width);
// The same, padded on the left: a figure's column.
std::string RightColumn(const std::string& text, std::size_t width);

// "12.3 kB/s", "512 B/s"; "-" for none.
std::string ShownRate(double bytesPerSecond);
// "1:05"; "-" for a negative time (none known).
std::string ShownEta(double seconds);
