#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "tools/stbsim/LinePacer.h"
#include "tools/stbsim/StopSignal.h"

// The box's end of the serial line: the master of a pseudo-terminal it creates, or a tty it is
// given. Reads and writes keep to the pacer's schedule, so a paced line behaves like a UART:
// the box takes the tool's bytes no faster than the line rate, the pty fills and the tool's
// writes block as they would on a bench.
//
// While the line is a pty, the box keeps a descriptor of the slave open for its whole life:
// without one, the master reports a hang-up until the tool opens the slave, and the tool may
// close and reopen the port between downloads.
//
// Threading: one thread does all I/O. Only the StopSignal may be raised from elsewhere; every
// wait then ends with Io::Cancelled.
class StbLine {
  public:
    using Clock = LinePacer::Clock;
    // Ok, TimedOut, Cancelled (a stop) or Lost: the system's vocabulary.
    using Io = SysStatus;

    static Result<std::unique_ptr<StbLine>> CreatePty(const StopSignal& stop);
    static Result<std::unique_ptr<StbLine>> OpenDevice(const std::string& path, uint32_t baud,
                                                       const StopSignal& stop);
    ~StbLine();
    StbLine(const StbLine&) = delete;
    StbLine& operator=(const StbLine&) = delete;

    // The device the tool is to open.
    const std::string& Path() const { return m_strPath; }
    void SetPacing(uint32_t bytesPerSecond, bool paceReceive) {
        m_pacer = LinePacer(bytesPerSecond, paceReceive);
    }
    Clock::duration ByteTime(size_t count) const { return m_pacer.ByteTime(count); }

    // All of data, at the line rate; returns when the last byte has been handed over.
    Io Write(const uint8_t* data, size_t size, Clock::time_point deadline);
    // Until a byte can be read; then the pacer counts the line busy from now.
    Io WaitReadable(Clock::time_point deadline);
    // Exactly size bytes (got tells how many came before a failure), at the line rate.
    Io Read(uint8_t* data, size_t size, Clock::time_point deadline, size_t& got);
    // Whatever has arrived, without waiting (for stray bytes); 0 when nothing.
    size_t ReadPending(uint8_t* data, size_t size);
    // Sleeps, cut short by a stop.
    Io Pause(Clock::duration time);
    // For a box that reads and sends no more: waits until the tool closes its end (Lost) or a
    // stop (Cancelled). A pty's own slave descriptor is let go first, so that the tool's close
    // shows; a real tty shows none, so there only a stop ends the wait.
    Io AwaitToolGone();
    // For a box that begins only once the tool is there (a replay): waits until the tool has
    // held the line open for `settle` (its START follows its first connection), or `limit`
    // passed (TimedOut). A pty's own slave descriptor is let go first, so that the master shows
    // a hang-up for as long as the tool has not opened it; a real tty shows none, so there the
    // wait is the settle alone.
    Io AwaitToolOpen(Clock::duration settle, Clock::duration limit);

    // After a power cycle: a pty's own slave descriptor taken again (AwaitToolGone let it go),
    // and whatever the tool sent to the box before it lost its power thrown away.
    void PowerOn();

    // Closes the line for good: the tool sees its port vanish.
    void HangUp();
    // Why the line was lost, with the failing call and its error.
    const std::string& LostReason() const { return m_strLost; }

  private:
    StbLine(UniqueFd fd, UniqueFd slaveFd, std::string path, const StopSignal& stop);
    // poll() on the line and the stop signal; events is POLLIN or POLLOUT.
    Io WaitFor(short events, Clock::time_point deadline);
    Io SleepUntil(Clock::time_point when);
    Io Lost(const char* call, int error);

    UniqueFd m_hFd;
    UniqueFd m_hSlave;
    bool m_bPty = false;
    std::string m_strPath;
    const StopSignal& m_stop;
    LinePacer m_pacer;
    std::string m_strLost;
};
