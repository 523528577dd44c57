#include "hosts/cli/SlotFeed.h"

SlotFeed::SlotFeed(std::function<void(const SlotStatus&)> publish) : m_publish(std::move(publish)) {
    Publish();
}

void ApplyState(SlotStatus& status, SlotState state, const SysFailure& why) {
    status.state = state;
    if (state == SlotState::WaitingForBox) {
        status.figures = ProgressFigures{};
    }
    if (state != SlotState::Loading) {
        status.figures.rate = 0;
        status.figures.etaSeconds.reset();
    }
    if ((state == SlotState::PortAbsent || state == SlotState::PortBusy) && why.Failed()) {
        status.reason = why.Describe();
    }
}

void CountEnd(SlotStatus& status, const SessionEnd& end) {
    if (!end.record) {
        return;
    }
    switch (end.record->result) {
        case BoxResult::Pass:
            ++status.passes;
            status.reason.clear();
            break;
        case BoxResult::Fail:
            ++status.fails;
            status.reason = end.record->reason;
            break;
        case BoxResult::Aborted:
            ++status.aborts;
            status.reason = end.record->reason;
            break;
    }
}

void SlotFeed::OnSlotState(SlotState state, const SysFailure& why) {
    ApplyState(m_status, state, why);
    Publish();
}

void SlotFeed::OnProgress(const ProgressFigures& figures) {
    m_status.figures = figures;
    Publish();
}

void SlotFeed::OnSessionEnded(const SessionEnd& end) {
    CountEnd(m_status, end);
}
