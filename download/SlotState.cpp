#include "download/SlotState.h"
#include "download/SlotStatus.h"

#include <array>

namespace {

struct Names {
    SlotState state;
    const char* code;
    const char* words;
};

constexpr std::array<Names, 14> kNames{{
    {SlotState::WaitingForPort, "waiting-for-port", "wait port"},
    {SlotState::PortAbsent, "port-absent", "no port"},
    {SlotState::PortBusy, "port-busy", "port busy"},
    {SlotState::WaitingForBox, "waiting-for-box", "wait box"},
    {SlotState::WaitingForScan, "waiting-for-scan", "scan box"},
    {SlotState::BoxTalking, "box-talking", "talking"},
    {SlotState::NoRequest, "no-request", "no request"},
    {SlotState::Loading, "loading", "loading"},
    {SlotState::Stopping, "stopping", "stopping"},
    {SlotState::Passed, "passed", "PASS"},
    {SlotState::Failed, "failed", "FAIL"},
    {SlotState::Aborted, "aborted", "ABORTED"},
    {SlotState::PowerFailed, "power-failed", "power failed"},
    {SlotState::TakenOut, "taken-out", "TAKEN OUT"},
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

LastVerdict VerdictOf(const BoxRecord& record) {
    LastVerdict verdict;
    verdict.result = record.result;
    verdict.reason = record.Passed() ? std::string() : record.reason;
    verdict.reasonCode = record.reasonCode;
    verdict.boxId = record.boxId.value_or("");
    verdict.time = record.end;
    verdict.attempt = record.attempt;
    verdict.labelMissed = record.Passed() && record.label == false;
    return verdict;
}

PortProblem PortProblemOf(const SysFailure& failure, bool busy) {
    PortProblem problem;
    problem.trouble = failure.result.status == SysStatus::Busy || busy ? PortTrouble::Busy
                      : failure.result.status == SysStatus::Lost       ? PortTrouble::Lost
                                                                       : PortTrouble::Absent;
    problem.text = failure.Describe();
    return problem;
}

void CountVerdict(SlotStatus& status, const LastVerdict& verdict) {
    switch (verdict.result) {
        case BoxResult::Pass:
            ++status.passes;
            status.firstPasses += verdict.attempt == 1 ? 1 : 0;
            break;
        case BoxResult::Fail:
            ++status.fails;
            break;
        case BoxResult::Aborted:
            ++status.aborts;
            break;
    }
    status.last = verdict;
}

std::optional<double> FirstPassYieldOf(int firstPasses, int passes, int fails) {
    const std::optional<double> judged = YieldOf(passes, fails);
    if (!judged || firstPasses < 0 || firstPasses > passes) {
        return std::nullopt;
    }
    return firstPasses / (static_cast<double>(passes) + static_cast<double>(fails));
}

std::optional<double> YieldOf(int passes, int fails) {
    // In doubles: two tallies near the most an int holds must not overflow their sum.
    const double judged = static_cast<double>(passes) + static_cast<double>(fails);
    if (passes < 0 || fails < 0 || judged <= 0) {
        return std::nullopt;
    }
    return passes / judged;
}
