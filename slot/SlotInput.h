#pragma once

// Input for the box in hand that a station hands its slot down the channel: a unit's data from a
// pool (a serial number to program), a box id from a scanner, a power switch's result. A slot
// hands each one to its session: a unit's data it serves itself (SlotUnit.h); the others it
// hands on the UI thread to the hook its host set (SessionConfig::input), or passes over.

#include <string>
#include <utility>

#include "slot/UnitData.h"

struct SlotInput {
    // PowerCycled: what the station's power action did ("on", "off", "off failed: ...").
    // PowerSwitch: the slot's own line switches its box ("on", "off"), as the job's dtr or rts.
    // BoxRefused: the box whose console named it `value` gets no byte and fails for `why` (it
    // passed before, and the job blocks repeats).
    enum class Kind { UnitData, ScannedBoxId, PowerCycled, PowerSwitch, BoxRefused };
    Kind kind = Kind::UnitData;
    std::string value;  // the kinds but UnitData
    UnitData unit;      // UnitData
    // ScannedBoxId, BoxRefused: why the box is refused ("box SN4711 already passed: ..."),
    // with its id, in one message, so that no refusal can be parted from its box.
    std::string why;

    bool operator==(const SlotInput&) const = default;
};

// An input of a kind that carries words ("on", a scanned id) rather than a unit.
inline SlotInput TextInput(SlotInput::Kind kind, std::string value) {
    SlotInput input;
    input.kind = kind;
    input.value = std::move(value);
    return input;
}
