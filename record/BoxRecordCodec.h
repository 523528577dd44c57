#pragma once

// A box record to and from JSON: written as one line of JSON Lines, a single object with the keys
// the production line's software reads, in the order the README gives, ending in "\n". Bytes
// that are not UTF-8 (a path is any bytes) become U+FFFD, so that every line is valid JSON.
//
// Read back by every reader of records (the report, the broker's payloads, a capture, the slot's
// channel): the verdict is known from the decoded type, never from comparing the text. A reader
// takes every schema written so far; keys added later are at the end and null where they have
// nothing to hold, so an older record reads with those left empty.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "record/BoxRecord.h"
#include "record/Json.h"

// "pass", "fail", "aborted", as the record's "result" holds it.
const char* BoxResultWord(BoxResult result);
// The verdict a word names; nothing for a word no verdict has.
std::optional<BoxResult> BoxResultFromWord(std::string_view word);

Json BoxRecordJson(const BoxRecord& record);
// The record an object holds; nothing for an object that is not one (no id, no start, a result
// no verdict has, a schema below 1).
std::optional<BoxRecord> BoxRecordFromJson(const Json& json);
// The same for one line of a report or a payload.
std::optional<BoxRecord> ParseBoxRecord(std::string_view line);
// Sets a record's provenance keys (a station's, over what its slot wrote).
void WriteProvenance(Json& record, const RecordProvenance& made);
std::string BoxRecordLine(const BoxRecord& record);

// "2026-12-07T02:31:07.120Z".
std::string IsoUtcMillis(std::chrono::system_clock::time_point when);
// The time such a text names (the milliseconds may be left out); nothing for another text, or
// for a year before 1900 or after 2200.
std::optional<std::chrono::system_clock::time_point> FromIsoUtcMillis(std::string_view text);
