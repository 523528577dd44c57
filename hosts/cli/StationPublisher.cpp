#include "hosts/cli/StationPublisher.h"

SlotStatus::State StateOnTheBroker(const std::string& stationState) {
    if (stationState == "starting" || stationState == "waiting") {
        return SlotStatus::State::Waiting;
    }
    if (stationState == "loading") {
        return SlotStatus::State::Serving;
    }
    if (stationState == "passed") {
        return SlotStatus::State::Passed;
    }
    if (stationState == "failed" || stationState == "port gone") {
        return SlotStatus::State::Failed;
    }
    return SlotStatus::State::Idle;  // stopping, done
}

void StationPublisher::OnStationStarted(const std::vector<std::string>&) {
    m_publisher.StationStarted();
}

void StationPublisher::OnStationEnded(int) {
    m_publisher.StationEnded();
}

void StationPublisher::OnSlotChanged(const SlotFigures& figures) {
    SlotStatus status;
    status.state = StateOnTheBroker(figures.state);
    status.percent = figures.percent;
    status.rate = figures.rate;
    if (figures.etaSeconds >= 0) {
        status.etaSeconds = figures.etaSeconds;
    }
    status.passes = figures.passes;
    status.fails = figures.fails;
    m_publisher.SlotChanged(figures.slot, status);
}

void StationPublisher::OnRecordFinal(const std::string& slot, const std::string& recordLine) {
    m_publisher.RecordFinal(slot, recordLine);
}
