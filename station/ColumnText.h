#pragma once

// Cells of a table on a terminal, counted in characters (a UTF-8 sequence is one): a column of a
// fixed width, a long name shortened in the middle, a rate and a time left. The station's table
// and tally and the --watch board show their figures alike through these.

#include <cstddef>
#include <string>

// `text` in at most `width` characters: a longer one keeps its start and its end with "…" in
// between (for the eye only: files, records and topics keep the whole name).
std::string ShortenMiddle(const std::string& text, std::size_t width);

// `text` in `width` characters, padded; a longer one cut at its end with "…".
std::string Column(const std::string& text, std::size_t width);

// "12.3 kB/s", "1:05", for the table.
std::string ShownRate(double bytesPerSecond);
std::string ShownEta(double seconds);
