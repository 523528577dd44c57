#pragma once

// What the board's tests feed it: a box's record as a station publishes it on its result topic.

#include <string>

#include "record/Json.h"

inline std::string RecordPayload(const std::string& id, const std::string& result,
                                 const std::string& end, double seconds,
                                 const std::string& reason = "", const std::string& boxId = "") {
    return JsonLine(Json{{"id", id},
                         {"slot", "ignored: the topic names the slot"},
                         {"result", result},
                         {"reason", reason},
                         {"end", end},
                         {"seconds", seconds},
                         {"box_id", boxId.empty() ? Json(nullptr) : Json(boxId)}});
}
