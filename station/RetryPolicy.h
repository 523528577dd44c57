#pragma once

// When a failed box is tried again on its slot, and when a slot whose boxes keep failing is
// taken out of service. Every attempt of a box has its own record (`attempt`, `final`,
// `retry_of`); the box is judged once, by its final attempt, and the tally counts boxes.

#include <optional>
#include <string>
#include <vector>

#include "record/BoxRecord.h"

struct RetryPolicy {
    int retries = 0;                   // attempts after the first
    std::vector<std::string> retryOn;  // the reason codes that are tried again
    int takeOutAfter = 0;              // failed boxes in a row that take a slot out; 0: never

    bool operator==(const RetryPolicy&) const = default;
};

// The reason codes a record may carry, which retry_on may name.
const std::vector<std::string>& KnownReasonCodes();

// Whether another attempt follows `attempt` (its record) on a slot that may take another box
// (`slotGoesOn`): it failed for a reason retry_on names and tries are left. A retry on a port
// that is gone (`portThere` false) is not tried, so that attempt is final; nor is an aborted
// box retried, which the operator stopped.
bool RetryFollows(const RetryPolicy& policy, const BoxRecord& attempt, bool slotGoesOn,
                  bool portThere);

// A slot's run of failed boxes, by their final verdicts, and whether it is to be taken out.
struct FailRun {
    int inRow = 0;
    // Counts a box's final verdict; true when this box takes the slot out.
    bool Count(const RetryPolicy& policy, const BoxRecord& final);
};

// What the slot says once it is taken out.
std::string TakenOutText(int boxes);
