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
    void OnBoxStarted(const std::string& slot) override {
        for (StationObserver* o : m_observers) {
            o->OnBoxStarted(slot);
        }
    }
    void OnBoxJudged(const std::string& slot, const BoxRecord& record, const std::string& said,
                     const std::string& recordError) override {
        for (StationObserver* o : m_observers) {
            o->OnBoxJudged(slot, record, said, recordError);
        }
    }
    void OnBoxRecovered(const std::string& slot, const BoxRecord& record,
                        const std::string& recordLine) override {
        for (StationObserver* o : m_observers) {
            o->OnBoxRecovered(slot, record, recordLine);
        }
    }
    void OnPortState(const std::string& slot, SlotState state, const std::string& why) override {
        for (StationObserver* o : m_observers) {
            o->OnPortState(slot, state, why);
        }
    }
    void OnSlots(const std::vector<SlotStatus>& slots) override {
        for (StationObserver* o : m_observers) {
            o->OnSlots(slots);
        }
    }
    void OnScan(const ScanNews& news) override {
        for (StationObserver* o : m_observers) {
            o->OnScan(news);
        }
    }

  private:
    std::vector<StationObserver*> m_observers;
};
