#pragma once

// What a station keeps on disk of one slot while the slot's process lives: enough for a later
// start of the station, should this one be killed, to give the box in flight its record and to
// close or remove the files the slot's process left. One small JSON object, version 1:
//   {"journal":1,"slot":"A1","port_label":"A1 (/dev/ttyUSB0)","pid":4711,
//    "log":"/srv/line/logs/.A1.4711.partial.log","capture":null,"stamps":false,"box":RECORD}
// `box` is the box in flight as its record would read were the station killed now (FAIL,
// "station stopped: no verdict", its figures so far), or null while no box is in flight. The
// record's fields are the report's (record/BoxRecordCodec.h).

#include <optional>
#include <string>
#include <string_view>

#include "record/BoxRecord.h"

inline constexpr int kSlotJournalVersion = 1;

struct SlotJournal {
    std::string slot;                    // the slot's label
    std::string portLabel;               // how its verdict line names it
    long pid = 0;                        // the slot's process
    std::optional<std::string> log;      // its box in hand's hidden log (--log-dir)
    std::optional<std::string> capture;  // its box in hand's hidden capture (--capture)
    bool stamps = false;                 // the log's lines start with their UTC time
    std::optional<BoxRecord> box;        // the box in flight, as it would be recorded
};

std::string SlotJournalLine(const SlotJournal& journal);
// The journal a file holds; nothing for anything else (a torn file, another version, garbage).
std::optional<SlotJournal> ParseSlotJournal(std::string_view text);
