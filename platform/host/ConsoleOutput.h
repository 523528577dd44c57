#pragma once

// Standard output, standard error and any log file, written by threads of their own, so that
// the thread serving the box never waits for whoever reads them: a full pipe, `| less`, Ctrl-S
// on a terminal. Writers queue text and return at once. Each descriptor has a writer thread,
// and the text goes out in the order it was queued across all descriptors (a terminal shared by
// both streams shows them in order), except that a descriptor whose write has waited for
// kStuck no longer holds the others back: verdicts on standard error go out while nobody reads
// the log on standard output.
//
// The queue is bounded, in memory: its text and what each chunk of it costs. Text that would
// pass the bound is dropped, and once there is room again (or at the end) one marker line on the
// same descriptor says how many bytes were lost there.
// A descriptor that fails for good (the reader went away) is written no more.
//
// A host may hold queued text back until it publishes it (the command line does so whenever its
// UI thread falls idle), so that a line such as "Please connect serial port..." is seen only once
// the handler that logged it has done its work, and text from different writers keeps the order
// it was made in. A host too busy to fall idle still has its text published once a MiB waits.
//
// What is queued for one descriptor between two publications is one write, however it came: a
// console echoed a byte at a time costs a system call per turn of the UI thread, not per byte.
// That holds across other descriptors too when their order does not matter: a log file is
// nobody's terminal, so its text is set apart (SetApart) and gathered past what standard output
// and standard error are queued in between; those two keep their order with each other. A
// writer that has written rests for kGather before it writes again, so a box that talks a line
// every few milliseconds costs each descriptor a write and a wake-up per kGather, with
// everything that came meanwhile; text after a quiet spell goes out at once, and a Drain or the
// end cuts the rest short.
//
// Threading rules: Write, Drain and Dropped may be called from any thread. The process-wide
// instance starts its thread on first use; Finish (end of main) waits until everything queued
// has been written, without a deadline: a reader that reads slowly still gets all of it. A
// signal handler that must end the process at once uses _exit and leaves the rest unwritten.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ConsoleOutput {
  public:
    static constexpr std::size_t kDefaultBound = 16 * 1024 * 1024;
    // Held text past this is published without waiting for the host.
    static constexpr std::size_t kMaxHeld = 1024 * 1024;
    // A write that has waited this long is stuck: the text queued after it for other
    // descriptors goes out without it.
    static constexpr std::chrono::milliseconds kStuck{100};
    // How long a writer rests after a write, gathering what comes meanwhile.
    static constexpr std::chrono::milliseconds kGather{25};

    explicit ConsoleOutput(std::size_t bound = kDefaultBound);
    ~ConsoleOutput();  // Finish
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // The process's own, for standard output and standard error.
    static ConsoleOutput& Process();

    void Write(int fd, std::string_view text);
    // From now on, queued text waits for Publish (false: every write is published at once).
    void HoldUntilPublished(bool hold);
    // `fd` is shown beside no other descriptor (a log file): its text need not keep its order
    // with theirs, so it is gathered into one write per publication. Until Forget(fd).
    void SetApart(int fd);
    // Lets the writer thread write everything queued so far.
    void Publish();
    // Waits until everything queued so far is written or dropped (for `fd` only, when given:
    // a log file about to be closed need not wait for an unread standard output).
    void Drain(int fd = -1);
    // Drains, then ends the writer thread; later writes are written at once by the caller.
    void Finish();
    // Bytes dropped on `fd` since the start.
    std::uint64_t Dropped(int fd) const;
    // `fd` is closed (a log file): what is known of it goes, so that a file opened later under
    // the same number starts afresh. Call after Drain(fd).
    void Forget(int fd);
    // The errno of the write that failed on `fd` for good (a full disk, a reader gone); 0 while
    // every write has gone out.
    int FailedWith(int fd) const;

  private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        int fd;
        std::string text;
        bool published;
        std::uint64_t seq;  // the order it was queued in, across descriptors
    };
    struct Account {
        std::uint64_t dropped = 0;     // since the start
        std::uint64_t unmarked = 0;    // dropped since the last marker
        bool lastEndedLine = true;     // the last accepted text ended a line
        bool failed = false;           // writes fail for good
        int error = 0;                 // ... with this errno
        bool apart = false;            // its order with other descriptors' text does not matter
        bool writing = false;          // its writer holds a chunk taken off the queue
        bool resting = false;          // its writer gathers after a write (kGather)
        std::condition_variable wake;  // its writer: text for it published, or stop
        std::uint64_t writingSeq = 0;
        Clock::time_point writingSince{};
        std::thread writer;
    };

    void Run(int fd);
    // The index in the queue of `fd`'s next chunk when it may go out now; nothing otherwise.
    std::optional<std::size_t> NextForLocked(int fd, Clock::time_point now) const;
    bool StuckLocked(int fd, Clock::time_point now) const;
    // Text for `a` and for `b` need not go out in the order it was queued in.
    bool ApartLocked(int a, int b) const;
    bool PendingLocked(int fd) const;
    void QueueLocked(int fd, std::string_view text);
    void QueueMarkerLocked(int fd);
    void PublishLocked();
    // `fd`'s writer is to look at the queue again, unless it is busy or resting: it looks
    // once it is done. The wake-up itself waits for WakeAfter, so that the writer does not
    // wake into a mutex still held.
    void WakeLocked(int fd);
    void WakeAfter(std::unique_lock<std::mutex>& lock);
    // 0 once all of `text` is out, else the errno that ended it.
    static int WriteOut(int fd, std::string_view text);

    const std::size_t m_bound;
    mutable std::mutex m_mutex;
    std::condition_variable m_drained;               // a write is done (for Drain)
    int m_draining = 0;                              // callers waiting in Drain
    std::vector<std::condition_variable*> m_toWake;  // writers to wake once the mutex is free
    std::deque<Chunk> m_queue;
    // What a chunk costs beside its text: itself, its place in the queue, its string's head.
    static constexpr std::size_t kChunkCost = sizeof(Chunk) + 16;
    std::size_t m_queued = 0;  // bytes in m_queue and being written, with their chunks' cost
    std::uint64_t m_nextSeq = 0;
    bool m_hold = false;
    std::size_t m_unpublished = 0;  // bytes queued since the last publication, while held
    bool m_stop = false;
    bool m_finished = false;
    std::map<int, Account> m_accounts;
};

// Text for standard output and standard error through the process's writer.
void WriteStdout(std::string_view text);
void WriteStderr(std::string_view text);
