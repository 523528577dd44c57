#pragma once

// When a station calls for someone at the line, whichever host sounds it (the desktop's alert,
// the terminal's bell): a box's final FAIL, and a slot taken out for its boxes' failures. A
// slot an operator took out, or an attempt that is tried again, calls for nobody.

#include <optional>

#include "download/SlotStatus.h"
#include "record/BoxRecord.h"

// Why a slot taken out by an operator says it is out.
inline constexpr const char* kTakenOutByOperator = "taken out by the operator";

inline bool AlarmFor(const BoxRecord& record) {
    return record.final && record.result == BoxResult::Fail;
}

// `before`: the slot's state as last shown, nothing before its first status.
inline bool AlarmFor(std::optional<SlotState> before, const SlotStatus& now) {
    return now.state == SlotState::TakenOut && now.hint != kTakenOutByOperator &&
           before != SlotState::TakenOut;
}
