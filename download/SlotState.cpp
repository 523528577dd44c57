#include "download/SlotState.h"
#include "download/SlotStatus.h"

#include <array>

namespace {

struct Names {
    SlotState state;
    const char* code;
    const char* words;
};

constexpr std::array<Names, 11> kNames{{
    {SlotState::WaitingForPort, "waiting-for-port", "wait port"},
    {SlotState::PortAbsent, "port-absent", "no port"},
    {SlotState::PortBusy, "port-busy", "port busy"},
    {SlotState::WaitingForBox, "waiting-for-box", "wait box"},
    {SlotState::BoxTalking, "box-talking", "talking"},
    {SlotState::NoRequest, "no-request", "no request"},
    {SlotState::Loading, "loading", "loading"},
    {SlotState::Stopping, "stopping", "stopping"},
    {SlotState::Passed, "passed", "PASS"},
    {SlotState::Failed, "failed", "FAIL"},
    {SlotState::Aborted, "aborted", "ABORTED"},
}};

const Names& Find(SlotState state) {
    for (const Names& names : kNames) {
        if (names.state == state) {
            return names;
        }
    }
    return kNames[0];
}

}  // namespace

const char* SlotStateCode(SlotState state) {
    return Find(state).code;
}

const char* SlotStateWords(SlotState state) {
    return Find(state).words;
}

bool SlotStateFromCode(std::string_view code, SlotState* state) {
    for (const Names& names : kNames) {
        if (code == names.code) {
            *state = names.state;
            return true;
        }
    }
    return false;
}

bool IsVerdictState(SlotState state) {
    return state == SlotState::Passed || state == SlotState::Failed || state == SlotState::Aborted;
}

void CountVerdict(SlotStatus& status, BoxResult result, const std::string& reason) {
    status.lastResult = result;
    switch (result) {
        case BoxResult::Pass:
            ++status.passes;
            status.reason.clear();
            status.last = "PASS";
            return;
        case BoxResult::Fail:
            ++status.fails;
            status.last = "FAIL " + reason;
            break;
        case BoxResult::Aborted:
            ++status.aborts;
            status.last = "ABORTED " + reason;
            break;
    }
    status.reason = reason;
}

double YieldOf(int passes, int fails) {
    return passes + fails > 0 ? static_cast<double>(passes) / (passes + fails) : 0.0;
}
