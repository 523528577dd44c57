#pragma once

// What the board's tests feed it: a box's record as a station publishes it on its result topic.

#include <string>

#include "record/BoxRecordCodec.h"

inline std::string RecordPayload(const std::string& id, const std::string& result,
                                 const std::string& end, double seconds,
                                 const std::string& reason = "", const std::string& boxId = "") {
    BoxRecord r;
    r.id = id;
    r.slot = "ignored: the topic names the slot";
    r.result = BoxResultFromWord(result).value_or(BoxResult::Fail);
    r.reason = reason;
    r.end = FromIsoUtcMillis(end).value_or(r.end);
    r.start = r.end - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                          std::chrono::duration<double>(seconds));
    r.seconds = seconds;
    if (!boxId.empty()) {
        r.boxId = boxId;
    }
    std::string line = BoxRecordLine(r);
    line.pop_back();  // a message is the line without its break
    return line;
}
