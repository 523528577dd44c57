// A station on a thread of its own, as a window runs it: its news reaches the owner's thread
// through the queue the owner drains, in order, and nothing after the run is gone, however it
// is stopped. Runs under ThreadSanitizer.

#include <gtest/gtest.h>

#include <csignal>
#include <deque>
#include <mutex>

#include "station/StationRun.h"
#include "tests/station/MemoryTransport.h"

namespace {

// The owner's thread: what the run posts waits here until the test drains it.
class Queue {
  public:
    StationRun::Post Post() {
        return [this](std::function<void()> call) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(std::move(call));
        };
    }
    // Runs what waits; answers how many.
    int Drain() {
        std::deque<std::function<void()>> calls;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            calls.swap(m_calls);
        }
        for (auto& call : calls) {
            call();
        }
        return static_cast<int>(calls.size());
    }

  private:
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_calls;
};

struct HeardRun final : StationRun::Listener {
    int slots = 0;
    std::vector<std::string> messages;
    std::optional<StationEnd> end;
    int ends = 0;
    void OnSlot(const SlotStatus&) override { ++slots; }
    void OnRecord(const std::string&, const std::string&) override {}
    void OnMessage(const std::string& text) override { messages.push_back(text); }
    void OnEnded(const StationEnd& e) override {
        end = e;
        ++ends;
    }
};

// Two slots, as `slots` plays them.
StationConfig Config(MemoryTransport& slots) {
    StationConfig config;
    config.ports = {"/nonexistent/a", "/nonexistent/b"};
    config.labels = {"A1", "A2"};
    config.slot.image = "/proc/self/exe";  // any readable file
    config.loop = true;
    config.transport = &slots;
    return config;
}

bool DrainUntil(Queue& queue, const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
        queue.Drain();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

TEST(StationRun, NewsArrivesOnTheOwnersThreadAndStopsWithTheRun) {
    Queue queue;
    // Slots that cannot serve: each says so, and the station ends by itself.
    HeardRun heard;
    {
        MemoryTransport slots;
        slots.onStart = [](MemoryTransport::Peer& peer) { peer.Exit(2); };
        StationRun run(Config(slots), heard, queue.Post());
        ASSERT_TRUE(DrainUntil(queue, [&] { return heard.end.has_value(); }));
        EXPECT_TRUE(heard.end->unservable);
    }
    EXPECT_EQ(heard.ends, 1);
    EXPECT_EQ(heard.messages.size(), 2u);

    // Slots that run until stopped: Stop now ends them, as SIGTERM would.
    HeardRun stopped;
    {
        MemoryTransport slots;
        StationRun run(Config(slots), stopped, queue.Post());
        run.StopNow();
        ASSERT_TRUE(DrainUntil(queue, [&] { return stopped.end.has_value(); }));
        EXPECT_EQ(stopped.end->signal, SIGTERM);
    }

    // Destroyed while it runs: the slots stop, and what is still queued finds no listener.
    HeardRun gone;
    {
        MemoryTransport slots;
        StationRun run(Config(slots), gone, queue.Post());
    }
    queue.Drain();
    EXPECT_EQ(gone.ends, 0);
}

}  // namespace
