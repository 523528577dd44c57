#include "station/RetryPolicy.h"

#include <algorithm>

const std::vector<std::string>& KnownReasonCodes() {
    // As records carry them (reason_code); "passed" is no failure to retry.
    static const std::vector<std::string> codes{
        "port-not-opened", "port-lost",       "box-stalled",       "image-changed",
        "box-silent",      "box-talking",     "operator-stop",     "slot-crashed",
        "station-killed",  "image-not-whole", "unit-not-delivered"};
    return codes;
}

bool RetryFollows(const RetryPolicy& policy, const BoxRecord& attempt, bool slotGoesOn,
                  bool portThere) {
    if (!slotGoesOn || !portThere || attempt.result != BoxResult::Fail ||
        attempt.attempt > policy.retries) {
        return false;
    }
    return std::find(policy.retryOn.begin(), policy.retryOn.end(), attempt.reasonCode) !=
           policy.retryOn.end();
}

bool FailRun::Count(const RetryPolicy& policy, const BoxRecord& final) {
    if (final.result == BoxResult::Aborted) {
        return false;  // the operator's stop says nothing of the fixture
    }
    inRow = final.Passed() ? 0 : inRow + 1;
    return policy.takeOutAfter > 0 && inRow >= policy.takeOutAfter;
}

std::string TakenOutText(int boxes) {
    return "taken out: " + std::to_string(boxes) + " boxes failed in a row: check the fixture";
}
