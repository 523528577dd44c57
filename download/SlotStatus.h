#pragma once

// Where one slot stands, as every view shows it: its state, the figures of the box in hand, the
// slot's tally, the last box's verdict, the port's problem and a talking box's hint. The window,
// the station's table, --json, the broker, --watch and the board all show this one type, and
// each field means one thing:
//   - `last` is the last box's verdict. It stays until the next box begins (its first frame):
//     a port that goes away after it, a box that talks, a new START leave it in sight.
//   - `port` is what is wrong with the port now (absent, busy, lost), apart from any verdict; it
//     goes once the port opens again.
//   - `hint` is what to look at while a box talks but asks for nothing (state NoRequest).
//   - `warning` is news for the whole run (the unit pool running low), shown until it ends.
// The rules that change a status live beside it (CountVerdict here, ApplyState in
// station/SlotFeed.h); its JSON is SlotStatusCodec.h.

#include <chrono>
#include <optional>
#include <string>

#include "download/ProgressFigures.h"
#include "download/SlotState.h"
#include "platform/base/SysResult.h"
#include "record/BoxRecord.h"

// A box's verdict as a slot keeps it until the next box begins.
struct LastVerdict {
    BoxResult result = BoxResult::Fail;
    std::string reason;      // why it did not pass; empty on a pass
    std::string reasonCode;  // the record's reason_code ("port-lost"); empty where none came
    std::string boxId;       // what the box printed (--box-id); empty when none
    std::chrono::system_clock::time_point time;  // when the box ended
    int attempt = 1;                             // the attempt it was judged by
    bool labelMissed = false;                    // it passed, and its label could not be printed

    bool operator==(const LastVerdict&) const = default;
};

// The verdict a box's record holds.
LastVerdict VerdictOf(const BoxRecord& record);

// What is wrong with a slot's port while no box is in hand.
enum class PortTrouble {
    Absent,  // the device is not there
    Busy,    // another program holds it
    Lost,    // it went away while open (cable pulled, adapter unplugged)
};

struct PortProblem {
    PortTrouble trouble = PortTrouble::Absent;
    std::string text;  // the system's words: "/dev/pts/1: open: No such file or directory"

    bool operator==(const PortProblem&) const = default;
};

// The problem a failure to open or keep the port means; `busy` where the slot's state says so
// without a failure.
PortProblem PortProblemOf(const SysFailure& failure, bool busy);

// A slot under a job that requires each box's scan (scan = "required").
struct SlotScan {
    bool waits = false;  // its next box (or the box in hand) has not been scanned yet
    bool next = false;   // the next scan goes to it
    std::string id;      // the id scanned for its next box, or the box in hand; empty when none

    bool operator==(const SlotScan&) const = default;
};

struct SlotStatus {
    std::string slot;  // the slot's name: the port as the operator gave it
    SlotState state = SlotState::WaitingForPort;
    ProgressFigures figures;
    int passes = 0;
    int fails = 0;
    int aborts = 0;
    int firstPasses = 0;              // of the passes, the boxes that passed at their first attempt
    std::optional<LastVerdict> last;  // nothing before the first box, and once the next began
    std::optional<PortProblem> port;  // nothing while the port is fine or not yet tried
    // While NoRequest: "is it in download mode?"; while PowerFailed or TakenOut: why.
    std::string hint;
    // What the operator should know beside the slot's state, for as long as the run lasts: a
    // job's unit pool running low ("unit pool low: mac has 499 value(s) left (warn_below =
    // 500)"). Empty when nothing.
    std::string warning;
    // Nothing unless the job requires scans.
    std::optional<SlotScan> scan;

    bool operator==(const SlotStatus&) const = default;
};

// Counts a box's verdict into the slot's tally and keeps it as the slot's last.
void CountVerdict(SlotStatus& status, const LastVerdict& verdict);

// Passed over passed and failed, 0 to 1: aborted boxes are left out; nothing while no box has
// been judged (a yield of 0 % would say every box failed).
std::optional<double> YieldOf(int passes, int fails);
// The first-pass yield: boxes that passed at their first attempt over boxes passed and failed.
std::optional<double> FirstPassYieldOf(int firstPasses, int passes, int fails);
