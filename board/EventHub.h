#pragma once

// The fan-out of the board's events to the open pages, as server-sent events. Publish hands
// each event to every stream's own queue and returns at once; each stream's HTTP thread takes
// what waits and writes it to its browser. So a browser that reads slowly, or not at all, only
// fills its own queue, and the board never waits for it: a queue that passes its bound (1 MiB
// unless given) is emptied and its stream ended, and the page's EventSource connects again and
// starts over from a fresh snapshot. An event is made once and shared by every queue.
//
// Each stream gathers before it writes, so that a busy line costs a page a few writes a second
// rather than one per message: a result is written at most kUrgentGather after it came, and a
// queue of slot states only waits kStateGather. A state has a key (its slot), and a newer state
// of the same slot replaces the older one still waiting, so a page gets each slot's last state
// a few times a second however often the slot speaks. Publishing wakes a stream's thread only
// when that changes when it should write (its first frame, its first result), never per frame.
//
// At most `mostStreams` streams are open at once; Join answers null past that (the server
// answers 503).
//
// Threading rules: every member may be called from any thread. A Stream is used by one thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
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

    // How long a stream gathers before it writes: a result, and states only.
    static constexpr std::chrono::milliseconds kUrgentGather{40};
    static constexpr std::chrono::milliseconds kStateGather{250};
    // A stream with this much waiting writes at once: gathering never lets a page that keeps
    // up fall behind its bound.
    static constexpr std::size_t kGatherBytes = 32 * 1024;

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
        using Clock = std::chrono::steady_clock;
        struct Queued {
            std::shared_ptr<const std::string> frame;  // null: replaced by a newer state
            std::string key;
        };
        void Add(const std::shared_ptr<const std::string>& frame, const std::string& key,
                 std::size_t mostBytes, std::uint64_t& dropped);
        void Compact();

        std::condition_variable m_ready;
        std::vector<Queued> m_queue;
        std::map<std::string, std::size_t> m_keyed;  // a state's slot: where it waits
        std::size_t m_bytes = 0;
        std::size_t m_stale = 0;  // frames replaced by a newer state, still in the queue
        Clock::time_point m_firstAt{};
        bool m_urgent = false;  // a frame without a key (a result) waits
        bool m_ended = false;
    };

    explicit EventHub(Limits limits);
    ~EventHub();

    // A new stream, or null when `mostStreams` are open.
    std::unique_ptr<Stream> Join();
    // `key` names what a newer frame of the same key makes stale (a slot's state); empty for
    // a frame every page must get (a result).
    void Publish(const std::string& frame, const std::string& key = {});
    // Ends every stream; Join answers null from now on.
    void Close();

    std::size_t Streams() const;
    std::size_t MostStreams() const;
    // Streams ended because they fell behind, since the start.
    std::uint64_t Dropped() const;

  private:
    std::shared_ptr<State> m_state;
};
