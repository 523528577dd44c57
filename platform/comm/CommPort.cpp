#include "platform/comm/CommPort.h"
#include "platform/comm/ModemLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "platform/base/Eintr.h"
#include "platform/base/Sys.h"
#include "platform/comm/LowLatency.h"
#include "platform/comm/RawTermios.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

bool MeansDeviceGone(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

int Fail(SysResult* result, const char* call, int err) {
    *result = SysResult::FromErrno(call, err);
    return -1;
}

// Takes the device for this process alone. flock first: root ignores TIOCEXCL, and another
// program that honours flock (picocom, minicom) must see the port as busy too.
int OpenExclusive(const std::string& path, SysResult* result) {
    const int fd = RetryOnEintr(
        [&] { return Sys().open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0); });
    if (fd < 0) {
        return Fail(result, "open", errno);
    }
    // Only a serial line will do: not a file, and not the master side of a pseudo-terminal,
    // which is a terminal too but where nothing would ever answer.
    int ptyNumber = 0;
    if (!isatty(fd) || ioctl(fd, TIOCGPTN, &ptyNumber) == 0) {
        Sys().close(fd);
        *result = SysResult{SysStatus::NotATty, "", 0};
        return -1;
    }
    if (RetryOnEintr([&] { return flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
        const int err = errno;
        Sys().close(fd);
        return Fail(result, "flock", err);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        Sys().close(fd);
        *result = SysResult{SysStatus::Failed, "ioctl(TIOCEXCL)", err};
        return -1;
    }
    return fd;
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

}  // namespace

std::unique_ptr<CommPort> CommPort::Open(const std::string& devicePath, SysResult* result) {
    *result = SysResult{};
    const int fd = OpenExclusive(devicePath, result);
    if (fd < 0) {
        return nullptr;
    }
    // A box powered through this port's DTR or RTS gets the line it wants before anything else.
    // A line that cannot be set is no reason to refuse the port: its slot says so when it
    // switches the line.
    ModemLinePortOpened(fd);
    return std::unique_ptr<CommPort>(new CommPort(fd));
}

CommPort::~CommPort() {
    ModemLinePortClosing(m_fd);
    ioctl(m_fd, TIOCNXCL);
    // close() waits for unsent output (up to 30 s on some drivers) unless it is dropped first.
    tcflush(m_fd, TCOFLUSH);
    Sys().close(m_fd);
}

SysResult CommPort::SysFail(const char* call, int err) {
    return MeansDeviceGone(err) ? MarkLost(call, err) : SysResult{SysStatus::Failed, call, err};
}

SysResult CommPort::MarkLost(const char* call, int err) {
    m_lost.store(true, std::memory_order_release);
    return SysResult{SysStatus::Lost, call, err};
}

SysResult CommPort::Configure(const LineSettings& settings) {
    SysResult r = ApplyRawSettings(m_fd, settings);
    if (r.Ok()) {
        m_baud = settings.baud;
        TrySetLowLatency(m_fd);
    }
    return r;
}

SysResult CommPort::WaitReadable(const CommWaitEvent& cancel) {
    for (;;) {
        if (IsLost()) {
            return SysResult{SysStatus::Lost, "", 0};
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {cancel.Fd(), POLLIN, 0}};
        if (RetryOnEintr([&] { return Sys().poll(fds, 2, -1); }) < 0) {
            return SysFail("poll", errno);
        }
        // A stop wins over arriving bytes: the owner is closing and will purge them.
        if (fds[1].revents & POLLIN) {
            return SysResult{SysStatus::Cancelled, "", 0};
        }
        if (fds[0].revents & kHangUp) {
            return MarkLost("poll", 0);
        }
        if (fds[0].revents & POLLIN) {
            return {};
        }
    }
}

SysIo CommPort::BytesWaiting() {
    int waiting = 0;
    if (Sys().ioctlInt(m_fd, FIONREAD, &waiting) != 0) {
        return SysIo{0, SysFail("ioctl(FIONREAD)", errno)};
    }
    return SysIo{static_cast<std::size_t>(std::max(0, waiting)), {}};
}

SysIo CommPort::ReadNow(BYTE* buffer, std::size_t capacity) {
    const ssize_t n = RetryOnEintr([&] { return Sys().read(m_fd, buffer, capacity); });
    if (n > 0) {
        return SysIo{static_cast<std::size_t>(n), {}};
    }
    if (n == 0) {
        // With VMIN 1 and O_NONBLOCK an empty port reads EAGAIN; end of file is a hang-up.
        return SysIo{0, MarkLost("read", 0)};
    }
    if (errno == EAGAIN) {
        return SysIo{0, {}};
    }
    return SysIo{0, SysFail("read", errno)};
}

SysResult CommPort::WaitWritable(const CommWaitEvent& cancel, Clock::time_point deadline,
                                 SysStatus onTimeout) {
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {cancel.Fd(), POLLIN, 0}};
    const int n = RetryOnEintr([&] { return Sys().poll(fds, 2, RemainingMs(deadline)); });
    if (n < 0) {
        return SysFail("poll", errno);
    }
    if (n == 0) {
        return SysResult{onTimeout, "poll", 0};
    }
    if (fds[1].revents & POLLIN) {
        return SysResult{SysStatus::Cancelled, "", 0};
    }
    if (fds[0].revents & kHangUp) {
        return MarkLost("poll", 0);
    }
    return {};
}

Clock::duration CommPort::StallBound() {
    int queued = 0;
    if (Sys().ioctlInt(m_fd, TIOCOUTQ, &queued) != 0 || queued < 0) {
        queued = 0;
    }
    const long long baud = std::max<DWORD>(m_baud, 1);
    return kStallSlack + std::chrono::milliseconds(queued * 10LL * 1000 / baud);
}

SysIo CommPort::WriteAll(const BYTE* data, std::size_t length, const CommWaitEvent& cancel,
                         std::optional<std::chrono::milliseconds> timeout) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point limit = timeout ? start + *timeout : Clock::time_point::max();
    Clock::time_point lastTaken = start;
    SysIo io;
    while (io.count < length) {
        if (IsStalled()) {
            io.result = SysResult{SysStatus::Stalled, "", 0};
            return io;
        }
        const ssize_t n =
            RetryOnEintr([&] { return Sys().write(m_fd, data + io.count, length - io.count); });
        if (n > 0) {
            io.count += static_cast<std::size_t>(n);
            lastTaken = Clock::now();
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            io.result = SysFail("write", errno);
            return io;
        }
        // The kernel's queue is full. Its bytes leave at the line rate, so room comes within
        // their time on the wire unless the peer has stopped taking them.
        const Clock::time_point stallAt = lastTaken + StallBound();
        const bool stallFirst = stallAt < limit;
        io.result = WaitWritable(cancel, stallFirst ? stallAt : limit,
                                 stallFirst ? SysStatus::Stalled : SysStatus::TimedOut);
        if (io.result.status == SysStatus::Stalled) {
            m_stalled.store(true, std::memory_order_release);
            m_lost.store(true, std::memory_order_release);
        }
        if (!io.result.Ok()) {
            return io;
        }
    }
    return io;
}

SysResult CommPort::Purge() {
    if (tcflush(m_fd, TCIOFLUSH) != 0) {
        return SysFail("tcflush", errno);
    }
    return {};
}
