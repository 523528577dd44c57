#pragma once

// Writes one capture file as the session goes, on a thread of its own, so the thread serving
// the box never waits for the disk: Append encodes the entry and queues it; the writer thread
// writes what is queued at once and syncs it to the disk once a second, so a crash loses at
// most the last second.
//
// The file never grows past its bound. An entry that would pass the bound, less the room kept
// for the closing entry, stops the capture: a Stopped entry says why and where, and nothing but
// the closing entry (Finish) is written after it. A disk too slow to take a MiB of queued
// entries stops it the same way, so the queue never holds more than that.
//
// Threading rules: Create, Append, Finish and Stopped on one thread (the UI thread); the writer
// thread only writes and syncs.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "capture/CaptureFormat.h"
#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"

class CaptureWriter {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kQueueBound = 1024 * 1024;

    // Creates (or empties) `path` and queues the header; time 0 is now.
    static Result<std::unique_ptr<CaptureWriter>> Create(const std::string& path,
                                                         std::int64_t maxBytes,
                                                         std::string_view header);
    // Finishes without a closing entry.
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // `when` is when it happened; a time before the last entry's counts as the last entry's.
    void Append(CaptureKind kind, std::string_view body, Clock::time_point when = Clock::now());
    // The closing entry (an event) where it fits, then everything on the disk and the thread
    // gone. Fails with why some of the capture could not be written (a full disk).
    Result<void> Finish(std::string_view closingEvent);
    // The capture has stopped: at its bound, or for a disk that fell behind.
    bool Stopped() const { return m_stopped; }
    // Bytes the file holds, or will once the queue is written.
    std::int64_t Size() const { return m_size; }

  private:
    CaptureWriter(UniqueFd fd, std::string path, std::int64_t maxBytes);
    void Queue(CaptureKind kind, std::uint64_t micros, std::string_view body);
    void Stop(const char* why, std::uint64_t micros);
    void Run();

    UniqueFd m_fd;
    std::string m_path;
    std::int64_t m_max;
    Clock::time_point m_start;
    std::uint64_t m_lastMicros = 0;
    std::int64_t m_size = 0;
    bool m_stopped = false;
    bool m_finished = false;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_queue;  // guarded by m_mutex
    bool m_end = false;   // guarded: Finish has queued the last entry
    int m_error = 0;      // guarded: the errno of a failed write or sync
    std::thread m_thread;
};
