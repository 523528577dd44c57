#pragma once

// A list file of unit values: CSV with a header line that names the columns, one unit a line
// (RFC 4180: a field in double quotes may hold commas, and "" stands for a quote; CR LF or LF
// line ends; blank lines are passed over). Read whole when the job is read, so that every
// mistake is found before any box: a missing column, a short line, a value twice.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/Result.h"

struct UnitList {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // each as long as the header
    std::vector<int> lines;                      // each row's line in the file
};

// At most this many bytes: a list of millions of MACs is a database's job, not a file's.
inline constexpr std::int64_t kMaxUnitListBytes = 64LL * 1024 * 1024;

// Reads `path`; a mistake is "PATH:LINE: what is wrong".
Result<UnitList> ReadUnitList(const std::string& path);
Result<UnitList> ParseUnitList(const std::string& text, const std::string& path);

// The column named `name`; a refusal that lists the columns there are.
Result<std::size_t> UnitListColumn(const UnitList& list, const std::string& path,
                                   const std::string& name);

// Refused, naming both lines, when a value stands twice in `column`.
Result<void> CheckUnitListUnique(const UnitList& list, const std::string& path, std::size_t column);
