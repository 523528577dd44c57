#pragma once

// How `stavel` ends, in one place: every exit status, what a box's end or a station's end
// means for it, and every failure before the first box with the words that go before the
// system's reason. main reads as a list of steps; the words and the numbers live here.

#include <string>

#include "download/SessionEvents.h"
#include "platform/base/SysResult.h"
#include "station/SlotWire.h"
#include "station/Station.h"

inline constexpr int kExitPass = 0;
inline constexpr int kExitSomeBoxFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortFailed = 3;
inline constexpr int kExitPortLost = 4;
inline constexpr int kExitBoxStalled = 5;
inline constexpr int kExitImageChanged = 6;
inline constexpr int kExitBoxSilent = 7;
inline constexpr int kExitRecordNotWritten = 8;

// A station reads a slot's "cannot serve at all" as the command line's usage status.
static_assert(kExitUsage == kSlotCannotServe);

// The exit status of a single box's end; an operator's stop has the signal's status instead,
// which only the host knows, so it answers `operatorStatus`.
int ExitStatusFor(EndReason reason, int operatorStatus);

// A station's end: a signal wins over a record not written, which wins over a slot that could
// not serve, which wins over a failed box.
int ExitStatusFor(const StationEnd& end);

// What could not be set up before any box was served.
enum class SetupStep {
    Report,
    LogFile,
    LogFolder,
    CaptureFolder,
    Capture,
    Spool,
    Database,
    DatabaseSpool,
    Password,
    Port
};

// A database whose disk was full turns an ordinary end into 8; a signal's status stays.
inline int WithDatabaseFull(int status, bool full) {
    return full && status < 128 ? kExitRecordNotWritten : status;
}

// Says on standard error why `step` failed ("stavel: the report cannot be written: ...") and
// answers the exit status.
int SetupFailed(SetupStep step, const SysFailure& failure);
