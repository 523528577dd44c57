#pragma once

// What a station tells whoever watches it: a terminal's table and lines, a window, a publisher
// for the line's broker. The station starting and ending, a slot's figures changing, a box
// starting and its record once it is final, a port's state, every slot as it stands, and notes
// for the operator. The default does nothing, so the supervisor calls it unconditionally.
//
// Threading rules: every call comes from the supervisor's thread, in order. OnSlotChanged comes
// at most once a second per slot, and at once when the slot's state changes; a call must return
// quickly (queue the work), since the station serves its slots from the same thread.

#include <string>
#include <vector>

#include "download/SlotStatus.h"
#include "record/BoxRecord.h"
#include "station/ScanDesk.h"

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
    // A box has begun its session on `slot`.
    virtual void OnBoxStarted(const std::string& /*slot*/) {}
    // A box's record is kept (just before OnRecordFinal): `said` is its reason with what the
    // operator should know beside it (", box SN4711; box SN4711 was loaded before: ..."), and
    // `recordError` why the report could not take it, or empty.
    virtual void OnBoxJudged(const std::string& /*slot*/, const BoxRecord& /*record*/,
                             const std::string& /*said*/, const std::string& /*recordError*/) {}
    // A box an earlier run of the station had in flight when it was killed has its record now
    // (FAIL, "station stopped: no verdict"), kept like any other: `recordLine` as the report holds
    // it. It belongs to that run, not to this one's tally.
    virtual void OnBoxRecovered(const std::string& /*slot*/, const BoxRecord& /*record*/,
                                const std::string& /*recordLine*/) {}
    // The slot's port became absent or busy while no box was in hand, or its box talked for the
    // silence bound and asked for nothing: said once per change.
    virtual void OnPortState(const std::string& /*slot*/, SlotState /*state*/,
                             const std::string& /*why*/) {}
    // Every slot as it stands: at each change of a slot's state, about once a second, and last
    // just before OnStationEnded.
    virtual void OnSlots(const std::vector<SlotStatus>& /*slots*/) {}
    // An operator's scan was given to a slot, selected one, or was refused, and why.
    virtual void OnScan(const ScanNews& /*news*/) {}
};
