#pragma once

// One serial device on POSIX termios: the platform side of a serial link.
//
// How it works. Open takes the device exclusively (flock, which binds root too, then TIOCEXCL)
// and keeps the descriptor non-blocking for its whole life. Configure puts it in raw mode and
// reads the settings back. A reader sleeps in WaitReadable, which polls the tty together with a
// CommWaitEvent, so another thread can cut the wait short without touching the descriptor.
// ReadNow never blocks. WriteAll returns once the kernel has taken every byte, as a driver's
// write completes once it holds the bytes; it never waits for them to leave the wire, which on a
// real UART or USB adapter would idle the line after every write. While the kernel's queue is
// full it waits for POLLOUT or the event. A peer that takes no byte for kStallSlack beyond the
// time the queued bytes need on the wire has stopped reading: the port is then marked stalled
// and lost, so later writes fail at once instead of each waiting again. A hang-up (POLLHUP/
// POLLERR, read() == 0, EIO, ENXIO, ENODEV from any call) marks the port lost for good; every
// later wait reports Lost at once.
//
// Threading rules: one reader thread (WaitReadable, BytesWaiting, ReadNow) and one writer
// thread (WriteAll, Purge) may use a port at the same time; Configure runs before the reader
// starts and the destructor after it has stopped.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/SysResult.h"
#include "platform/base/Win32Types.h"
#include "platform/comm/CommWaitEvent.h"
#include "platform/comm/LineSettings.h"

class CommPort {
  public:
    // Opens `devicePath` exclusively; null with `result` telling why.
    static std::unique_ptr<CommPort> Open(const std::string& devicePath, SysResult* result);
    // Lets go of exclusivity, drops unsent output (so close cannot block) and closes.
    ~CommPort();
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;

    // Raw mode with these settings, verified by reading them back; also asks for low latency.
    SysResult Configure(const LineSettings& settings);
    DWORD Baud() const { return m_baud; }

    // Ok when bytes have arrived; Cancelled when `cancel` is signalled; Lost on hang-up.
    SysResult WaitReadable(const CommWaitEvent& cancel);
    // The driver's count of received bytes (FIONREAD). A hint: it can lag behind poll.
    SysIo BytesWaiting();
    // What has arrived, at most `capacity` bytes; count 0 with Ok when nothing has.
    SysIo ReadNow(BYTE* buffer, std::size_t capacity);

    // How long a write waits without progress, beyond the queued bytes' time on the wire,
    // before it decides the peer has stopped reading.
    static constexpr std::chrono::seconds kStallSlack{2};

    // Hands every byte to the kernel unless cancelled, lost, stalled or out of time (`timeout`
    // empty: no limit of its own; the stall bound always holds).
    SysIo WriteAll(const BYTE* data, std::size_t length, const CommWaitEvent& cancel,
                   std::optional<std::chrono::milliseconds> timeout);
    // Drops unread input and unsent output.
    SysResult Purge();

    bool IsLost() const { return m_lost.load(std::memory_order_acquire); }
    // The peer stopped taking bytes (a write stalled); the port counts as lost too.
    bool IsStalled() const { return m_stalled.load(std::memory_order_acquire); }

  private:
    explicit CommPort(int fd) : m_fd(fd) {}
    SysResult SysFail(const char* call, int err);
    // Marks the port lost for good and answers Lost with `call` and `err`.
    SysResult MarkLost(const char* call, int err);
    SysResult WaitWritable(const CommWaitEvent& cancel,
                           std::chrono::steady_clock::time_point deadline, SysStatus onTimeout);
    std::chrono::steady_clock::duration StallBound();

    const int m_fd;
    DWORD m_baud = 0;
    std::atomic<bool> m_lost{false};
    std::atomic<bool> m_stalled{false};
};
