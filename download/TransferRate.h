#pragma once

// The rate shown beside the progress: bytes the box has received per second of the download.
//
// The box asks for the next block only once it has received the previous one, so when a request
// arrives, everything up to the previous request's end has crossed the line. Dividing that by the
// time since the first request never shows more than the line can carry; dividing the latest
// request's end by the same time would count a block that has not yet been sent.
//
// Plain arithmetic on the request ends and their times; the host says when a request came.

#include <chrono>
#include <cstdint>

class TransferRate {
  public:
    using Clock = std::chrono::steady_clock;

    // A new download: nothing requested yet.
    void Restart() { *this = TransferRate(); }
    // A request whose block ends at `end` (offset plus length, at most the image's size).
    void OnRequest(std::int64_t end, Clock::time_point when);
    // Bytes per second; 0 until a second request has come.
    double BytesPerSecond() const;

  private:
    bool m_started = false;
    Clock::time_point m_first{};
    Clock::time_point m_latest{};
    std::int64_t m_latestEnd = 0;
    std::int64_t m_received = 0;  // the end of the request before the latest
};
