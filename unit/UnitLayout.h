#pragma once

// A job's [unit]: the reserved region of the image that carries each box's own data, its fields,
// where each field's values come from, and the checksum over the region. The job reader fills it
// and checks it whole (job/JobUnit.cpp); from then on it is plain data.
//
//   [unit]
//   region = { offset = 0x1F000, length = 256 }
//   store = "sqlite:units.db"
//   fields = [
//     { name = "serial", at = 0, length = 16, format = "ascii",
//       from = { counter = "SN{:08d}", start = 1000, step = 1 } },
//     { name = "mac", at = 16, length = 6, format = "mac", from = { list = "macs.csv", column =
//     "mac" } },
//   ]
//   checksum = { kind = "crc32", over = [0x1F000, 0x1F0FC], at = 0x1F0FC, order = "little" }
//   warn_below = 500
//
// A source gives one value per box. Fields that name the same list file share its rows: a box
// takes one row and each field its column. A source is named after its first field, in the pool
// and in what the operator reads ("unit pool empty: serial").

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unit/CounterPattern.h"
#include "unit/UnitFormat.h"

struct UnitSource {
    enum class Kind { Counter, List };
    Kind kind = Kind::Counter;
    std::string name;  // its first field's name
    // A counter: the pattern, the first number and the step.
    std::optional<CounterPattern> pattern;
    std::int64_t start = 0;
    std::int64_t step = 1;
    // A list: the file (a whole path), its columns and its rows in the file's order.
    std::string file;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::size_t keyColumn = 0;  // its first field's column: the value the pool keeps

    bool operator==(const UnitSource&) const = default;
};

struct UnitField {
    std::string name;
    std::int64_t at = 0;  // from the region's start
    std::int64_t length = 0;
    UnitFormat format = UnitFormat::Ascii;
    std::size_t source = 0;  // index into UnitLayout::sources
    std::size_t column = 0;  // a list's column
    bool secret = false;     // recorded and shown only as its SHA-256

    bool operator==(const UnitField&) const = default;
};

struct UnitChecksum {
    std::int64_t from = 0;  // image offsets; `to` not included
    std::int64_t to = 0;
    std::int64_t at = 0;
    bool bigEndian = false;

    bool operator==(const UnitChecksum&) const = default;
};

struct UnitLayout {
    std::int64_t offset = 0;  // the region in the image
    std::int64_t length = 0;
    std::string store;  // the pool's database URL (a SQLite path from the job's folder)
    std::vector<UnitSource> sources;
    std::vector<UnitField> fields;
    std::optional<UnitChecksum> checksum;  // CRC-32, or none
    std::optional<std::int64_t> warnBelow;

    bool operator==(const UnitLayout&) const = default;
};

// One box's unit: a value per source (a counter's number as text, or a list's row number), and
// each field's text as its format reads it.
struct UnitValues {
    std::vector<std::string> sourceValues;  // as the pool keeps them
    std::vector<std::string> fieldTexts;    // in the layout's field order
};
