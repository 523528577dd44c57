#include "station/StationRun.h"

#include <atomic>
#include <csignal>
#include <mutex>

// Carries the supervisor's news to the window's thread. It outlives the run for calls already
// posted: those find it detached and do nothing.
class StationRun::Relay final : public StationObserver,
                                public std::enable_shared_from_this<StationRun::Relay> {
  public:
    Relay(Listener& listener, Post post, StationObserver* also)
        : m_listener(&listener),
          m_post(std::move(post)),
          m_also(also != nullptr ? also : &m_none) {}

    void Detach() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_listener = nullptr;
    }

    // On the window's thread, in the order the supervisor told it.
    void Send(std::function<void(Listener&)> call) {
        m_post([self = shared_from_this(), call = std::move(call)] {
            Listener* listener = nullptr;
            {
                const std::lock_guard<std::mutex> lock(self->m_mutex);
                listener = self->m_listener;
            }
            if (listener != nullptr) {
                call(*listener);
            }
        });
    }

    void OnStationStarted(const std::vector<std::string>& slots) override {
        m_also->OnStationStarted(slots);
    }
    void OnStationEnded() override { m_also->OnStationEnded(); }
    void OnSlotChanged(const SlotStatus& status) override {
        m_also->OnSlotChanged(status);
        Send([status](Listener& l) { l.OnSlot(status); });
    }
    void OnRecordFinal(const std::string& slot, const std::string& line) override {
        m_also->OnRecordFinal(slot, line);
        Send([slot, line](Listener& l) { l.OnRecord(slot, line); });
    }
    void OnBoxRecovered(const std::string& slot, const BoxRecord& record,
                        const std::string& line) override {
        m_also->OnBoxRecovered(slot, record, line);
    }
    void OnMessage(const std::string& text) override {
        Send([text](Listener& l) { l.OnMessage(text); });
    }
    void OnScan(const ScanNews& news) override {
        m_also->OnScan(news);
        Send([news](Listener& l) { l.OnScan(news); });
    }

  private:
    std::mutex m_mutex;
    Listener* m_listener;
    Post m_post;
    StationObserver m_none;
    StationObserver* m_also;
};

StationRun::StationRun(StationConfig config, Listener& listener, Post post, StationObserver* also)
    : m_relay(std::make_shared<Relay>(listener, std::move(post), also)),
      m_station(std::make_unique<Station>(std::move(config), m_relay.get())) {
    m_thread = std::thread([this] {
        const StationEnd end = m_station->Run();
        m_relay->Send([end](Listener& l) { l.OnEnded(end); });
    });
}

StationRun::~StationRun() {
    m_relay->Detach();
    m_station->AskStopNow(SIGTERM);
    m_thread.join();
}

void StationRun::Finish() {
    m_station->AskFinish();
}

bool StationRun::PutBack(const std::string& slot) {
    return m_station->AskPutBack(slot);
}

bool StationRun::TakeOut(const std::string& slot) {
    return m_station->AskTakeOut(slot);
}

void StationRun::Scan(const std::string& scan) {
    m_station->AskScan(scan);
}

bool StationRun::Reprint(const std::string& slot) {
    return m_station->AskReprint(slot);
}

void StationRun::StopNow() {
    m_station->AskStopNow(SIGTERM);
}
