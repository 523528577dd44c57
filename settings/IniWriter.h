#pragma once

// The bytes of the store's file for a table. In table order, each entry's line "key=value" is
// preceded, when its section is not empty and its written form differs from the last header, by
// the header "[section]" (and by an empty-line separator unless it is the first line); the file
// ends with that separator. Every line ends in CR LF on every platform, so the file is the same
// byte for byte wherever it was written, and reads back with either line end.
//
// A line must read back as the entry it was written for and disturb no other line, so:
//   - a value is cut before its first line feed or NUL byte, and cut (on a whole character) to
//     keep the line within kIniMaxWrittenLine bytes;
//   - an entry whose section or key cannot be written as one such line (a line feed or NUL in a
//     name, a key that holds "=", starts with white space or is too long, a line that would read
//     as a header) is left out of the file. Only callers can make such entries; the file cannot.

#include <string>

#include "platform/codepage/CodeSet.h"
#include "settings/IniEntry.h"

std::string WriteIniText(const IniTable& table, CodeSet codeSet);
