#pragma once

// The adapter of the line model (see LineModel.h): relays between the box's terminal and an
// inner pseudo-terminal that the server under test opens, holding each direction to the
// modelled line. Runs on its own thread in the bench's process, so the server's CPU figures
// carry none of its work.
//
// Threading rules: Start, InnerPath, Stop and Shared from the thread that made the relay.

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <thread>

#include "bench/linemodel/LineModel.h"

class LineRelay {
  public:
    LineRelay() = default;
    ~LineRelay();
    LineRelay(const LineRelay&) = delete;
    LineRelay& operator=(const LineRelay&) = delete;

    // Opens `boxDevice` and a fresh inner terminal, publishes the state in `sharedFile` and
    // starts relaying; false with `error` set when it cannot.
    bool Start(const std::string& boxDevice, const LineModelConfig& config,
               const std::string& sharedFile, std::string& error);
    const std::string& InnerPath() const { return m_innerPath; }
    const LineModelShared& Shared() const { return *m_shared; }
    void Stop();

  private:
    struct Received {
        std::uint8_t byte;
        std::int64_t atNs;
    };
    struct Queued {
        std::uint8_t byte;
        std::int64_t leavesNs;
    };

    void Run();
    bool TakeFromServer(std::int64_t now);
    bool SendToBox(std::int64_t now);
    bool TakeFromBox(std::int64_t now);
    bool DeliverToServer(std::int64_t now);
    std::int64_t NextWakeNs(std::int64_t now) const;
    std::int64_t DeliverableUpTo(std::int64_t now) const;

    LineModelConfig m_config;
    LineModelShared* m_shared = nullptr;
    std::string m_innerPath;
    int m_box = -1;
    int m_master = -1;
    int m_slaveKeep = -1;  // keeps the inner terminal up while the server reopens it
    int m_wake = -1;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};

    std::deque<Queued> m_tx;        // taken from the server, not yet delivered to the box
    std::int64_t m_wireFreeAt = 0;  // when the last byte in m_tx leaves the wire
    std::deque<Received> m_rx;      // arrived from the box, not yet handed to the server
    std::int64_t m_lastArrival = 0;
};
