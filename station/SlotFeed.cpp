#include "station/SlotFeed.h"

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
    if (end.record) {
        CountVerdict(status, end.record->result, end.record->reason);
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
