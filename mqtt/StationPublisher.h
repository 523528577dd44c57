#pragma once

// A station's news for the line's broker: the station's status, each slot's state and each
// box's record, handed to the MQTT publisher, which sends them from its own thread.
//
// Threading rules: the station's supervisor thread calls it; the publisher queues and returns.

#include "mqtt/MqttPublisher.h"
#include "station/StationObserver.h"

class StationPublisher final : public StationObserver {
  public:
    explicit StationPublisher(MqttPublisher& publisher) : m_publisher(publisher) {}

    void OnStationStarted(const std::vector<std::string>& slots) override;
    void OnStationEnded() override;
    void OnSlotChanged(const SlotStatus& status) override;
    void OnRecordFinal(const std::string& slot, const std::string& recordLine) override;
    void OnBoxRecovered(const std::string& slot, const BoxRecord& record,
                        const std::string& recordLine) override;

  private:
    MqttPublisher& m_publisher;
};
