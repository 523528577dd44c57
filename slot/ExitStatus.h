#pragma once

// How `stavel` ends, in one place: every exit status, what a box's end means for it, and every
// failure before the first box with the words that go before the system's reason. A station's
// end has its precedence beside the supervisor (station/StationEnd.h). main reads as a list of
// steps; the words and the numbers live here.

#include <string>

#include "download/SessionEvents.h"
#include "platform/base/SysResult.h"

inline constexpr int kExitPass = 0;
inline constexpr int kExitSomeBoxFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortFailed = 3;
inline constexpr int kExitPortLost = 4;
inline constexpr int kExitBoxStalled = 5;
inline constexpr int kExitImageChanged = 6;
inline constexpr int kExitBoxSilent = 7;
inline constexpr int kExitRecordNotWritten = 8;
// A job's unit pool cannot give a unit: a source is empty, or its store cannot be reached.
inline constexpr int kExitUnitPool = 9;
// A station's slot that cannot serve at all (its settings, its image, its folders) ends with the
// usage status; one whose START found an image the line does not serve ends with this, and its
// station then takes no further box anywhere.
inline constexpr int kSlotCannotServe = kExitUsage;
inline constexpr int kSlotWrongImage = 10;
// A station whose every slot was taken out of service (a job's take_out_after): its fixtures
// need a look before any box is served again.
inline constexpr int kExitAllTakenOut = 11;

// The exit status of a single box's end; an operator's stop has the signal's status instead,
// which only the host knows, so it answers `operatorStatus`.
int ExitStatusFor(EndReason reason, int operatorStatus);

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
    Port,
    BoxId,
};

// A database whose disk was full turns an ordinary end into 8; a signal's status stays.
inline int WithDatabaseFull(int status, bool full) {
    return full && status < 128 ? kExitRecordNotWritten : status;
}

// Why `step` failed, in the operator's words: "the report cannot be written: ...".
std::string SetupFailureText(SetupStep step, const SysFailure& failure);
// Says it on standard error ("stavel: the report cannot be written: ...") and answers the exit
// status.
int SetupFailed(SetupStep step, const SysFailure& failure);
