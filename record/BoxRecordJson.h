#pragma once

// A box record as one line of JSON Lines: a single object with the keys the production line's
// software reads, in the order the README gives, ending in "\n". Bytes that are not UTF-8 (a
// path is any bytes) become U+FFFD, so that every line is valid JSON.

#include <chrono>
#include <string>
#include <string_view>

#include "record/BoxRecord.h"
#include "record/Json.h"

Json BoxRecordJson(const BoxRecord& record);
// Sets a record's provenance keys (a station's, over what its slot wrote).
void WriteProvenance(Json& record, const RecordProvenance& made);
std::string BoxRecordLine(const BoxRecord& record);

// "2026-12-07T02:31:07.120Z".
std::string IsoUtcMillis(std::chrono::system_clock::time_point when);
