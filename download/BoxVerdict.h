#pragma once

// Every box ends with a verdict, made here and only here, from the box's session: PASS when it
// ended the download with EXIT_APP, ABORTED when the operator stopped it mid-session, FAIL
// otherwise with a short reason. The verdict decides the box's record, its line for the operator
// and the command line's exit status; every host and the station judge a box through these
// functions.
//
// Threading rules: none; plain functions.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "download/BoxRecord.h"
#include "download/SessionEvents.h"

// Exit statuses of `stavel`, one table for the whole tool.
inline constexpr int kExitPass = 0;
inline constexpr int kExitSomeBoxFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortFailed = 3;
inline constexpr int kExitPortLost = 4;
inline constexpr int kExitBoxStalled = 5;
inline constexpr int kExitImageChanged = 6;
inline constexpr int kExitBoxSilent = 7;
inline constexpr int kExitRecordNotWritten = 8;

// The exit status of a single box's end; an operator's stop has the signal's status instead,
// which only the host knows, so it answers `operatorStatus`.
int ExitStatusFor(EndReason reason, int operatorStatus);

// Who the box was: the port as given, the device behind it, the USB adapter where known.
struct BoxSlot {
    std::string slot;
    std::string device;
    std::optional<std::string> adapter;
};

// What a verdict is made from: the slot, the image START opened, when the box began and what
// it had by its end.
struct SessionFacts {
    BoxSlot slot;
    std::string imagePath;
    std::int64_t imageSize = 0;
    std::string imageSha256;
    // The box's first frame; START's time while the box has not framed anything yet.
    std::chrono::system_clock::time_point start;
    std::chrono::steady_clock::time_point startSteady;
    bool began = false;  // the box has sent a frame
    std::int64_t bytesSent = 0;
    std::int64_t distinctSent = 0;
    std::int64_t distinctAsked = 0;
    std::int64_t requests = 0;
};

// The record of the box that `facts` describe, ended by `ended` at `now`; a fresh id.
BoxRecord JudgeSession(const SessionFacts& facts, const DownloadEnded& ended,
                       std::chrono::steady_clock::time_point now);

// "COM7 (/dev/ttyUSB3): PASS 196608 bytes in 17.1 s, sha256 3f2a9c1e5b7d…",
// "COM7 (/dev/ttyUSB3): FAIL port lost at 25 % (41 s)" or
// "COM7 (/dev/ttyUSB3): ABORTED stopped by the operator"; `port` names the box's place.
std::string VerdictLine(const std::string& port, const BoxRecord& record);

// The USB adapter behind `devicePath` as "vvvv:pppp serial", from sysfs; nothing off USB.
std::optional<std::string> AdapterOf(const std::string& devicePath);
