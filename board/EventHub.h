#pragma once

// The fan-out of the board's events to the open pages, as server-sent events. Publish hands
// each event to every stream's own queue and returns at once; each stream's HTTP thread takes
// what waits and writes it to its browser. So a browser that reads slowly, or not at all, only
// fills its own queue, and the board never waits for it: a queue that passes its bound (1 MiB
// unless given) is emptied and its stream ended, and the page's EventSource connects again and
// starts over from a fresh snapshot. An event is made once and shared by every queue.
//
// At most `mostStreams` streams are open at once; Join answers null past that (the server
// answers 503).
//
// Threading rules: every member may be called from any thread. A Stream is used by one thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// "event: NAME\ndata: DATA\n\n"; a line break in DATA starts another data line.
std::string EventFrame(const std::string& name, const std::string& data);

class EventHub {
    struct State;

  public:
    struct Limits {
        std::size_t mostStreams = 64;
        std::size_t mostQueuedBytes = 1 << 20;
    };

    class Stream {
      public:
        enum class Taken { Frames, Quiet, End };
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        // Waits at most `wait` for frames and appends them to `out`: Quiet when none came, End
        // when the stream fell behind or the hub closed.
        Taken Take(std::string& out, std::chrono::milliseconds wait);

      private:
        friend class EventHub;
        explicit Stream(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        std::shared_ptr<State> m_state;
        std::condition_variable m_ready;
        std::deque<std::shared_ptr<const std::string>> m_queue;
        std::size_t m_bytes = 0;
        bool m_ended = false;
    };

    explicit EventHub(Limits limits);
    ~EventHub();

    // A new stream, or null when `mostStreams` are open.
    std::unique_ptr<Stream> Join();
    void Publish(const std::string& frame);
    // Ends every stream; Join answers null from now on.
    void Close();

    std::size_t Streams() const;
    std::size_t MostStreams() const;
    // Streams ended because they fell behind, since the start.
    std::uint64_t Dropped() const;

  private:
    std::shared_ptr<State> m_state;
};
