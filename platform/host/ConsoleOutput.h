#pragma once

// Standard output, standard error and any log file, written by a thread of their own, so that
// the thread serving the box never waits for whoever reads them: a full pipe, `| less`, Ctrl-S
// on a terminal. Writers queue text and return at once; one writer thread writes it in the order
// it was queued (across all descriptors, so a terminal shared by both streams shows them in
// order).
//
// The queue is bounded. Text that would pass the bound is dropped, and once there is room again
// (or at the end) one marker line on the same descriptor says how many bytes were lost there.
// A descriptor that fails for good (the reader went away) is written no more.
//
// A host may hold queued text back until it publishes it (the command line does so whenever its
// UI thread falls idle), so that a line such as "Please connect serial port..." is seen only once
// the handler that logged it has done its work, and text from different writers keeps the order
// it was made in. A host too busy to fall idle still has its text published once a MiB waits.
//
// Threading rules: Write, Drain and Dropped may be called from any thread. The process-wide
// instance starts its thread on first use; Finish (end of main) waits until everything queued
// has been written, without a deadline: a reader that reads slowly still gets all of it. A
// signal handler that must end the process at once uses _exit and leaves the rest unwritten.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class ConsoleOutput {
  public:
    static constexpr std::size_t kDefaultBound = 16 * 1024 * 1024;
    // Held text past this is published without waiting for the host.
    static constexpr std::size_t kMaxHeld = 1024 * 1024;

    explicit ConsoleOutput(std::size_t bound = kDefaultBound);
    ~ConsoleOutput();  // Finish
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // The process's own, for standard output and standard error.
    static ConsoleOutput& Process();

    void Write(int fd, std::string_view text);
    // From now on, queued text waits for Publish (false: every write is published at once).
    void HoldUntilPublished(bool hold);
    // Lets the writer thread write everything queued so far.
    void Publish();
    // Waits until everything queued so far is written or dropped.
    void Drain();
    // Drains, then ends the writer thread; later writes are written at once by the caller.
    void Finish();
    // Bytes dropped on `fd` since the start.
    std::uint64_t Dropped(int fd) const;

  private:
    struct Chunk {
        int fd;
        std::string text;
        bool published;
    };
    struct Account {
        std::uint64_t dropped = 0;   // since the start
        std::uint64_t unmarked = 0;  // dropped since the last marker
        bool lastEndedLine = true;   // the last accepted text ended a line
        bool failed = false;         // writes fail for good
    };

    void Run();
    void QueueLocked(int fd, std::string_view text);
    void QueueMarkerLocked(int fd);
    void PublishLocked();
    bool WriteOut(int fd, std::string_view text);

    const std::size_t m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;     // text queued, or stop
    std::condition_variable m_drained;  // the queue ran empty
    std::deque<Chunk> m_queue;
    std::size_t m_queued = 0;  // bytes in m_queue
    bool m_writing = false;    // the thread holds a chunk taken off the queue
    bool m_hold = false;
    std::size_t m_unpublished = 0;  // bytes queued since the last publication, while held
    bool m_stop = false;
    bool m_finished = false;
    std::map<int, Account> m_accounts;
    std::thread m_thread;
};

// Text for standard output and standard error through the process's writer.
void WriteStdout(std::string_view text);
void WriteStderr(std::string_view text);
