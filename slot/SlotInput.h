#pragma once

// Input for the box in hand that a station hands its slot down the channel: a unit's data from a
// pool (a serial number to program), a box id from a scanner, a power switch's result. A slot
// hands each one to its session: a unit's data it serves itself (SlotUnit.h); the others it
// hands on the UI thread to the hook its host set (SessionConfig::input), or passes over.

#include <string>

#include "slot/UnitData.h"

struct SlotInput {
    enum class Kind { UnitData, ScannedBoxId, PowerCycled };
    Kind kind = Kind::UnitData;
    std::string value;  // the kinds but UnitData
    UnitData unit;      // UnitData

    bool operator==(const SlotInput&) const = default;
};
