#pragma once

// Input for the box in hand that a station hands its slot down the channel: a unit's data from a
// pool (a serial number to program), a box id from a scanner, a power switch's result. Nothing
// sends it yet. A slot hands each one to its session, which hands it on the UI thread to the
// hook its host set (SessionConfig::input); without a hook it is passed over.

#include <string>

struct SlotInput {
    // PowerCycled: what the station's power action did ("on", "off", "off failed: ...").
    // PowerSwitch: the slot's own line switches its box ("on", "off"), as the job's dtr or rts.
    enum class Kind { UnitData, ScannedBoxId, PowerCycled, PowerSwitch };
    Kind kind = Kind::UnitData;
    std::string value;

    bool operator==(const SlotInput&) const = default;
};
