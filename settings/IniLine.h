#pragma once

// How the store reads one line of its file. The line is trimmed of white space at both ends,
// then it is
//   - empty: ignored;
//   - a section header, when it starts with "[" and ends with "]": the bytes between (untrimmed)
//     become the current section, "[]" the empty one;
//   - an entry, when its first "=" (a whole character) stands at position 1 or later: the key is
//     what comes before that "=", the value what follows; stored under the current section,
//     replacing an entry of the same folded names together with its written forms;
//   - anything else: ignored.

#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"
#include "settings/IniEntry.h"

// White space as the C locale's isspace: blank, tab, line feed, vertical tab, form feed, CR.
bool IsIniBlank(char c);
std::string_view TrimIniBlanks(std::string_view text);

// Reads one line (a piece of at most kIniReadPiece bytes) into `table`.
void ReadIniLine(std::string_view line, std::string& currentSection, IniTable& table,
                 CodeSet codeSet);

// The table's key for a section and key name.
IniKey FoldIniKey(std::string_view section, std::string_view key, CodeSet codeSet);
