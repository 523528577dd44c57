#pragma once

// One box's result as the board shows it: read from a result message (the box's record, keys in
// docs/record.schema.json) under the station's and slot's topic, and given to the page as one
// JSON object with the record's own key names (which is also the line an older board kept in
// its history file):
// {"id":"3f2a…","station":"line7-pc3","slot":"A3","result":"fail","end":"2026-12-07T02:31:07.120Z",
//  "seconds":41.2,"reason":"port lost","box_id":"SN123"}; a pass has no reason.
//
// Texts are cut where they come in (a name to 200 bytes, a reason to 500), so that what a
// hostile or broken station sends costs the board a bounded amount.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/codepage/Utf8.h"
#include "record/BoxRecord.h"
#include "record/Json.h"

struct HistoryResult {
    std::string id;
    std::string station;
    std::string slot;
    BoxResult result = BoxResult::Pass;
    std::int64_t endMs = 0;  // UTC, milliseconds since 1970
    double seconds = 0;
    std::string reason;  // empty on a pass
    std::string boxId;   // empty when the box printed none
};

// The result a box's record (read by the record's codec) on `station`'s `slot` holds.
HistoryResult ResultOfRecord(const std::string& station, const std::string& slot,
                             const BoxRecord& record);

// The result a record kept in the database (a box's record, or a line an older board's history
// held) on `station`'s `slot` carries; nothing without an id, a result word or an end time.
std::optional<HistoryResult> ResultFromStored(const std::string& station, const std::string& slot,
                                              const std::string& json);

// The object the page has.
Json HistoryJson(const HistoryResult& result);

// "2026-12-07T02:31:07.120Z" as milliseconds since 1970, and back; nothing for any other text.
std::optional<std::int64_t> MillisOfIsoTime(const std::string& text);
std::string IsoTimeOfMillis(std::int64_t ms);
