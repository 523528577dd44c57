#pragma once

// Where one slot stands, as every view shows it: its state, the figures of the box in hand and
// the slot's tally. The window, the station's table, --json, the broker and --watch all show
// this one type.

#include <optional>
#include <string>

#include "download/ProgressFigures.h"
#include "download/SlotState.h"
#include "record/BoxRecord.h"

struct SlotStatus {
    std::string slot;  // the slot's name: the port as the operator gave it
    SlotState state = SlotState::WaitingForPort;
    ProgressFigures figures;
    int passes = 0;
    int fails = 0;
    int aborts = 0;
    std::string reason;  // the last failure's reason, or why the port is absent or busy
    std::string last;    // the last box's verdict: "PASS", "FAIL <reason>", "ABORTED <reason>"
    std::string boxId;   // the identity the last box printed (--box-id); empty till one has
    std::optional<BoxResult> lastResult;  // the last box's verdict; nothing before the first

    bool operator==(const SlotStatus&) const = default;
};

// Counts a box's verdict into the slot's tally, and keeps the reason of one that did not pass.
void CountVerdict(SlotStatus& status, BoxResult result, const std::string& reason);

// Passed over passed and failed: aborted boxes are left out; 0 with no box yet.
double YieldOf(int passes, int fails);
