#pragma once

// What a station's start does for the runs of it that were killed (StationJournal.h): each box
// one had in flight gets its record, once: FAIL, "station stopped: no verdict" (reason code
// station-killed), with the figures its journal had; its hidden log and capture are closed under
// their final names, which the record names; the hidden files of slots that had no box in hand
// and the killed station's temporary folder are removed. A journal that does not read is said and
// passed over, never acted on.
//
// Threading rules: the station's thread.

#include <functional>
#include <string>

#include "record/BoxRecord.h"

struct RecoveryEars {
    // Keeps a recovered box's record; false when it could not be written, so that its journal
    // waits for the next start.
    std::function<bool(const BoxRecord&)> keep;
    // A line for the operator.
    std::function<void(const std::string&)> say;
};

// Recovers every run beside `report` whose station is gone; answers how many boxes it recorded.
int RecoverKilledRuns(const std::string& report, const RecoveryEars& ears);
