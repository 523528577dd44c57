#pragma once

// What a job will do before it does it: `stavel --job FILE --check` shows the plan (the slots
// with their ports present or missing, the image and its hash, the outputs) and whether the job
// can run; serving a job checks the image the same way before any box is served. Each port is
// opened and closed as a start opens it, and the report as the run opens it, with a write that
// leaves no trace, so the plan refuses what the run would refuse.

#include <string>
#include <vector>

#include "job/Job.h"
#include "platform/base/Result.h"

// The image may be served: it opens and its SHA-256 is `sha256`. Fails with both hashes, or with
// why it cannot be read.
Result<void> CheckImageSha256(const std::string& image, const std::string& sha256);

// The image's SHA-256 in 64 lower-case hex digits; empty when it cannot be read.
std::string ImageSha256(const std::string& image);

struct JobPlan {
    std::string text;  // the plan, a line per item, for the operator
    bool imageOk = false;
    bool outputsOk = false;
    int slotsMissing = 0;
    int slotsRefused = 0;  // present, but the run could not open them (not serial, busy, ...)
    bool unitOk = true;    // without a [unit], or its pool reachable and none of its sources empty

    bool CanRun() const {
        return imageOk && outputsOk && unitOk && slotsMissing == 0 && slotsRefused == 0;
    }
};

JobPlan PlanJob(const Job& job);
