#pragma once

// Several watchers of one station (the broker's publisher and the database's writer) as the one
// observer a station takes: each call goes to each of them, in the order they were added.
//
// Threading rules: as StationObserver's; add every watcher before the station starts.

#include <vector>

#include "station/StationObserver.h"

class StationObservers final : public StationObserver {
  public:
    void Add(StationObserver* observer) { m_observers.push_back(observer); }

    void OnStationStarted(const std::vector<std::string>& slots) override {
        for (StationObserver* o : m_observers) {
            o->OnStationStarted(slots);
        }
    }
    void OnStationEnded() override {
        for (StationObserver* o : m_observers) {
            o->OnStationEnded();
        }
    }
    void OnSlotChanged(const SlotStatus& status) override {
        for (StationObserver* o : m_observers) {
            o->OnSlotChanged(status);
        }
    }
    void OnRecordFinal(const std::string& slot, const std::string& recordLine) override {
        for (StationObserver* o : m_observers) {
            o->OnRecordFinal(slot, recordLine);
        }
    }
    void OnMessage(const std::string& text) override {
        for (StationObserver* o : m_observers) {
            o->OnMessage(text);
        }
    }

  private:
    std::vector<StationObserver*> m_observers;
};
