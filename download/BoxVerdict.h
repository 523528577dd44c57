#pragma once

// Every box ends with a verdict, made here and only here, from the box's session: PASS when it
// ended the download with EXIT_APP, ABORTED when the operator stopped it mid-session, FAIL
// otherwise with a short reason. The verdict decides the box's record, from which its line for the
// operator and the command line's exit status follow; every host and the station judge a box
// through this function.
//
// Threading rules: none; plain functions.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "record/BoxRecord.h"

// Who the box was: the port as given, the device behind it, the USB adapter where known.
struct BoxSlot {
    std::string slot;
    std::string device;
    std::optional<std::string> adapter;
    std::optional<std::string> byPath;  // the device's stable names, where it has them
    std::optional<std::string> byId;
    std::optional<std::string> adapterSerial;
};

// The slot named `name` on `device`, with its adapter and stable names from the system.
BoxSlot SlotOn(const std::string& name, const std::string& device);

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
    std::optional<std::string> boxId;  // what the box printed that --box-id matched
};

// The record of the box that `facts` describe, ended by `ended` at `now`; a fresh id.
BoxRecord JudgeSession(const SessionFacts& facts, const DownloadEnded& ended,
                       std::chrono::steady_clock::time_point now);
