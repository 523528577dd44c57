#include "station/SlotFeed.h"

SlotFeed::SlotFeed(std::function<void(const SlotStatus&)> publish) : m_publish(std::move(publish)) {
    Publish();
}

void ApplyState(SlotStatus& status, SlotState state, const SysFailure& why) {
    status.state = state;
    if (state == SlotState::WaitingForBox || state == SlotState::PortAbsent ||
        state == SlotState::PortBusy) {
        // No box in hand: the last one's progress is in its verdict.
        status.figures = ProgressFigures{};
    }
    if (state != SlotState::Loading) {
        status.figures.rate = 0;
        status.figures.etaSeconds.reset();
        status.figures.stalledSeconds.reset();
    }
    switch (state) {
        case SlotState::Loading:
            // The next box has begun: the last one's verdict has been read.
            status.last.reset();
            status.port.reset();
            break;
        case SlotState::PortAbsent:
        case SlotState::PortBusy:
            status.port = PortProblemOf(why, state == SlotState::PortBusy);
            break;
        case SlotState::WaitingForBox:
        case SlotState::BoxTalking:
        case SlotState::NoRequest:
            status.port.reset();  // the port opened
            break;
        default:
            break;
    }
    // A hint is for a box that talks and asks for nothing, and for a slot whose power failed
    // or that was taken out: why.
    status.hint = state == SlotState::NoRequest || state == SlotState::PowerFailed ||
                          state == SlotState::TakenOut
                      ? why.reason
                      : std::string();
}

void CountEnd(SlotStatus& status, const SessionEnd& end) {
    if (end.record) {
        CountVerdict(status, VerdictOf(*end.record));
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
