#pragma once

// Every box ends with a verdict: PASS when it ended the download with EXIT_APP, FAIL otherwise
// with a short reason. The verdict decides the box's record, its line for the operator and the
// command line's exit status; both hosts judge a box the same way through these functions.
//
// Threading rules: none; plain functions of the download's state.

#include <chrono>
#include <optional>
#include <string>

#include "download/BoxRecord.h"
#include "download/DownloadEvents.h"

struct DownloadState;

// How a box's download ended.
enum class BoxEnd {
    Passed,         // EXIT_APP
    PortNotOpened,  // the port could not be opened
    PortLost,       // cable pulled, adapter unplugged
    BoxStalled,     // the box stopped reading
    ImageChanged,   // the image changed during the download
    BoxSilent,      // nothing from the box for the silence bound
    OperatorStop,   // Stop, SIGINT, SIGTERM
};

// The end a download event stands for; nothing for events that end no box.
std::optional<BoxEnd> BoxEndForEvent(DownloadEvent event);

// Exit statuses of `stavel`, one table for the whole tool.
inline constexpr int kExitPass = 0;
inline constexpr int kExitSomeBoxFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortFailed = 3;
inline constexpr int kExitPortLost = 4;
inline constexpr int kExitBoxStalled = 5;
inline constexpr int kExitImageChanged = 6;
inline constexpr int kExitBoxSilent = 7;

// The exit status of a single box's end; an operator's stop has the signal's status instead,
// which only the host knows, so it answers `operatorStatus`.
int ExitStatusFor(BoxEnd end, int operatorStatus);

// Who the box was: the port as given, the device behind it, the USB adapter where known.
struct BoxSlot {
    std::string slot;
    std::string device;
    std::optional<std::string> adapter;
};

// What ended the box beyond its kind: the system's reason a port could not be opened, the
// silence bound.
struct BoxEndDetail {
    std::string openError;
    std::chrono::seconds silence{0};
};

// The record of the box whose download `state` holds, ended `end` at `now`; a fresh id.
BoxRecord JudgeBox(const BoxSlot& slot, const DownloadState& state, BoxEnd end,
                   const BoxEndDetail& detail, std::chrono::steady_clock::time_point now);

// "COM7 (/dev/ttyUSB3): PASS 196608 bytes in 17.1 s, sha256 3f2a9c1e5b7d…" or
// "COM7 (/dev/ttyUSB3): FAIL port lost at 25 % (41 s)"; `port` names the box's place.
std::string VerdictLine(const std::string& port, const BoxRecord& record);

// The USB adapter behind `devicePath` as "vvvv:pppp serial", from sysfs; nothing off USB.
std::optional<std::string> AdapterOf(const std::string& devicePath);
