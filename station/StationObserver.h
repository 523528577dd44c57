#pragma once

// What a station tells whoever watches it beyond its own screen (a publisher for the line's
// broker, say): the station starting and ending, a slot's figures changing, and each box's
// record once it is final. The default does nothing, so the supervisor calls it unconditionally.
//
// Threading rules: every call comes from the supervisor's thread, in order. OnSlotChanged comes
// at most once a second per slot, and at once when the slot's state changes; a call must return
// quickly (queue the work), since the station serves its slots from the same thread.

#include <string>
#include <vector>

#include "download/SlotStatus.h"

class StationObserver {
  public:
    virtual ~StationObserver() = default;
    // The station begins with these slots.
    virtual void OnStationStarted(const std::vector<std::string>& /*slots*/) {}
    // The station ends, after its tally.
    virtual void OnStationEnded() {}
    virtual void OnSlotChanged(const SlotStatus& /*status*/) {}
    // `recordLine` is the exact JSON line written to the report, line break included.
    virtual void OnRecordFinal(const std::string& /*slot*/, const std::string& /*recordLine*/) {}
    // A note for the operator ("A2: the slot cannot serve: ...", "finishing 3 boxes").
    virtual void OnMessage(const std::string& /*text*/) {}
};
