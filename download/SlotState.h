#pragma once

// Where one slot (a port the tool serves boxes on) stands. One set of states for every host:
// the window, the station's table, --json, the broker and --watch all show these.
//
// A box is a session: it begins with the box's first frame after START and ends with its
// verdict. Before that the slot waits for its port or for a box; a port that is absent or busy
// while no session runs is a state of the slot, not a box.

#include <string_view>

enum class SlotState {
    WaitingForPort,  // START not pressed yet, or the port is being opened
    PortAbsent,      // the device is not there (unplugged)
    PortBusy,        // another program holds the device
    WaitingForBox,   // START pressed, the port open, nothing heard yet
    WaitingForScan,  // the box asked to START, and waits for its label to be scanned
    BoxTalking,      // console text, but no request yet
    NoRequest,       // the box talked for the silence bound and asked for nothing
    Loading,         // the box's session runs
    Stopping,        // a stop was asked for; the box in hand is being ended
    Passed,          // after a box: its verdict
    Failed,
    Aborted,
    PowerFailed,  // the slot's power switch failed, hung or was refused; no box is counted for it
    TakenOut,     // its boxes failed in a row: out of service until the operator puts it back
};

// The fixed word of a state ("waiting-for-box"), as the broker and --json carry it.
const char* SlotStateCode(SlotState state);
// The same state in a few words for a table ("waiting box").
const char* SlotStateWords(SlotState state);
// The state a word names; false for a word no state has.
bool SlotStateFromCode(std::string_view code, SlotState* state);
// Whether the state is a box's verdict.
bool IsVerdictState(SlotState state);
