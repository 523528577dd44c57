#include "mqtt/StationPublisher.h"

void StationPublisher::OnStationStarted(const std::vector<std::string>&) {
    m_publisher.StationStarted();
}

void StationPublisher::OnStationEnded() {
    m_publisher.StationEnded();
}

void StationPublisher::OnSlotChanged(const SlotStatus& status) {
    m_publisher.SlotChanged(status.slot, status);
}

void StationPublisher::OnRecordFinal(const std::string& slot, const std::string& recordLine) {
    m_publisher.RecordFinal(slot, recordLine);
}
