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

void StationPublisher::OnBoxRecovered(const std::string& slot, const BoxRecord&,
                                      const std::string& recordLine) {
    // The factory hears of every box once, whichever run recorded it.
    m_publisher.RecordFinal(slot, recordLine);
}
