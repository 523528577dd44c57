#pragma once

// A box's record as the database keeps it: the columns that queries use (who, where, when, how
// it ended) beside the whole record's JSON exactly as the report line has it. Read from the
// record's own keys (docs/record.schema.json); a board that heard the record on a station's
// topic gives that topic's station and slot, which it counts the record under.
//
// Texts from outside are bounded here: an id of more than 128 bytes is no record's, and a name
// is cut to 200 bytes, so that a hostile station costs the database a bounded row.

#include <cstdint>
#include <optional>
#include <string>

struct StoredRecord {
    std::string id;
    std::optional<std::string> boxId;
    std::string station;
    std::string slot;
    std::optional<std::string> job;
    std::optional<std::string> imageSha256;
    std::string result;  // "pass", "fail" or "aborted"
    std::optional<std::string> reasonCode;
    std::int64_t startMs = 0;  // UTC, milliseconds since 1970
    std::int64_t endMs = 0;
    double seconds = 0;
    std::optional<std::string> operatorName;
    std::int64_t attempt = 1;  // the box's try; 1 until records count their tries
    bool final = true;         // false on an attempt that was tried again: not a box of its own
    std::string json;          // the record, one line without its line break
};

// The record `line` holds (with or without its line break), under `station` and `slot` where
// given; nothing when it is not one (no id, no result word, neither start nor end).
std::optional<StoredRecord> StoredRecordOf(const std::string& line, const std::string& station = {},
                                           const std::string& slot = {});

// The 15 minutes a record is counted in on the board's plots, by its start.
inline constexpr std::int64_t kRecordBinMs = 15 * 60 * 1000;
inline std::int64_t RecordBinOf(std::int64_t ms) {
    return ms >= 0 ? ms / kRecordBinMs : (ms - kRecordBinMs + 1) / kRecordBinMs;
}
