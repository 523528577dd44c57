#include "tools/stbsim/StbLine.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/base/Eintr.h"

namespace {

// Raw 8N1 by hand: cfmakeraw leaves flow control, two stop bits and hang-up on close as they
// were, and any of them would make this line unlike the box's.
void MakeRaw(termios& tio) {
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &=
        ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK | INLCR | IGNCR | ICRNL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

speed_t SpeedFor(uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B115200;
    }
}

bool SetNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

Result<std::unique_ptr<StbLine>> StbLine::CreatePty(const StopSignal& stop) {
    termios tio{};
    MakeRaw(tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    int master = -1, slave = -1;
    char name[128] = {};
    if (openpty(&master, &slave, name, &tio, nullptr) != 0) {
        return ErrnoFailure("openpty", "", errno);
    }
    UniqueFd masterFd(master);
    UniqueFd slaveFd(slave);
    if (!SetNonBlocking(master) || fcntl(slave, F_SETFD, FD_CLOEXEC) != 0) {
        return ErrnoFailure("fcntl", "", errno);
    }
    return std::unique_ptr<StbLine>(
        new StbLine(std::move(masterFd), std::move(slaveFd), name, stop));
}

Result<std::unique_ptr<StbLine>> StbLine::OpenDevice(const std::string& path, uint32_t baud,
                                                     const StopSignal& stop) {
    UniqueFd fd(RetryOnEintr(
        [&] { return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd) {
        return ErrnoFailure("open", path, errno);
    }
    termios tio{};
    if (tcgetattr(fd.Get(), &tio) != 0) {
        return ErrnoFailure("tcgetattr", path, errno);
    }
    MakeRaw(tio);
    cfsetispeed(&tio, SpeedFor(baud));
    cfsetospeed(&tio, SpeedFor(baud));
    if (tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
        return ErrnoFailure("tcsetattr", path, errno);
    }
    tcflush(fd.Get(), TCIOFLUSH);
    return std::unique_ptr<StbLine>(new StbLine(std::move(fd), UniqueFd(), path, stop));
}

StbLine::StbLine(UniqueFd fd, UniqueFd slaveFd, std::string path, const StopSignal& stop)
    : m_hFd(std::move(fd)),
      m_hSlave(std::move(slaveFd)),
      m_bPty(static_cast<bool>(m_hSlave)),
      m_strPath(std::move(path)),
      m_stop(stop) {}

StbLine::~StbLine() {
    HangUp();
}

void StbLine::HangUp() {
    if (m_hFd) {
        // Unsent bytes must not hold up the close of a real tty.
        tcflush(m_hFd.Get(), TCIOFLUSH);
        m_hFd.Reset();
    }
    m_hSlave.Reset();
    if (m_strLost.empty()) {
        m_strLost = "the line was hung up";
    }
}

void StbLine::PowerOn() {
    if (!m_hFd) {
        return;
    }
    if (!m_hSlave && m_bPty) {
        m_hSlave.Reset(RetryOnEintr(
            [&] { return open(m_strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    }
    tcflush(m_hFd.Get(), TCIFLUSH);
    uint8_t ignored[4096];
    while (ReadPending(ignored, sizeof ignored) > 0) {
    }
    m_strLost.clear();
}

StbLine::Io StbLine::Lost(const char* call, int error) {
    if (m_strLost.empty()) {
        m_strLost = DescribeErrno(call, "", error);
    }
    return Io::Lost;
}

StbLine::Io StbLine::WaitFor(short events, Clock::time_point deadline) {
    for (;;) {
        if (m_stop.Raised()) {
            return Io::Cancelled;
        }
        if (!m_hFd) {
            return Io::Lost;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            return Io::TimedOut;
        }
        // Round up, so that a wait never spins on a deadline less than a millisecond away.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        pollfd fds[2] = {{m_hFd.Get(), events, 0}, {m_stop.Fd(), POLLIN, 0}};
        const int n = RetryOnEintr(
            [&] { return poll(fds, 2, static_cast<int>(std::min<int64_t>(ms, 60000))); });
        if (n < 0) {
            return Lost("poll", errno);
        }
        if (n > 0 && (fds[0].revents & (events | POLLERR | POLLHUP | POLLNVAL))) {
            if (fds[0].revents & events) {
                return Io::Ok;
            }
            return Lost("poll", EIO);
        }
    }
}

StbLine::Io StbLine::SleepUntil(Clock::time_point when) {
    for (;;) {
        if (m_stop.Raised()) {
            return Io::Cancelled;
        }
        const auto left = when - Clock::now();
        if (left <= Clock::duration::zero()) {
            return Io::Ok;
        }
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(left).count();
        // ppoll sleeps with microsecond resolution and still wakes on a stop.
        timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>(us % 1000000) * 1000};
        pollfd fd{m_stop.Fd(), POLLIN, 0};
        ppoll(&fd, 1, &ts, nullptr);
    }
}

StbLine::Io StbLine::Pause(Clock::duration time) {
    return SleepUntil(Clock::now() + time);
}

StbLine::Io StbLine::AwaitToolGone() {
    m_hSlave.Reset();
    for (;;) {
        if (m_stop.Raised()) {
            return Io::Cancelled;
        }
        if (!m_hFd) {
            return Io::Lost;
        }
        // No event asked for: a hang-up is reported whatever is asked.
        pollfd fds[2] = {{m_hFd.Get(), 0, 0}, {m_stop.Fd(), POLLIN, 0}};
        const int n = RetryOnEintr([&] { return poll(fds, 2, 60000); });
        if (n < 0) {
            return Lost("poll", errno);
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            m_strLost = "the tool closed the port";
            return Io::Lost;
        }
    }
}

StbLine::Io StbLine::AwaitToolOpen(Clock::duration settle, Clock::duration limit) {
    m_hSlave.Reset();
    const auto giveUp = Clock::now() + limit;
    // A flag and a time rather than an optional, of which GCC 12 says, falsely, that its time
    // may be read unset once this is inlined among other sources.
    bool open = false;
    Clock::time_point openSince{};
    for (;;) {
        if (!m_hFd) {
            return Io::Lost;
        }
        // No event asked for: a hang-up is reported whatever is asked.
        pollfd fd{m_hFd.Get(), 0, 0};
        if (RetryOnEintr([&] { return poll(&fd, 1, 0); }) < 0) {
            return Lost("poll", errno);
        }
        const auto now = Clock::now();
        if ((fd.revents & POLLHUP) != 0) {
            open = false;
        } else if (!open) {
            open = true;
            openSince = now;
        } else if (now - openSince >= settle) {
            return Io::Ok;
        }
        if (now >= giveUp) {
            return Io::TimedOut;
        }
        // Often enough to see the tool's open at once, rarely enough to cost nothing.
        if (const Io slept = Pause(std::chrono::milliseconds(20)); slept != Io::Ok) {
            return slept;
        }
    }
}

StbLine::Io StbLine::Write(const uint8_t* data, size_t size, Clock::time_point deadline) {
    if (m_pacer.Paced()) {
        const Io slept = SleepUntil(m_pacer.ReserveTransmit(size, Clock::now()));
        if (slept != Io::Ok) {
            return slept;
        }
    }
    size_t done = 0;
    while (done < size) {
        if (!m_hFd) {
            return Io::Lost;
        }
        const ssize_t n =
            RetryOnEintr([&] { return write(m_hFd.Get(), data + done, size - done); });
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return Lost("write", errno);
        }
        const Io waited = WaitFor(POLLOUT, deadline);
        if (waited != Io::Ok) {
            return waited;
        }
    }
    return Io::Ok;
}

StbLine::Io StbLine::WaitReadable(Clock::time_point deadline) {
    const Io waited = WaitFor(POLLIN, deadline);
    if (waited == Io::Ok) {
        m_pacer.NoteArrival(Clock::now());
    }
    return waited;
}

StbLine::Io StbLine::Read(uint8_t* data, size_t size, Clock::time_point deadline, size_t& got) {
    got = 0;
    while (got < size) {
        const size_t want = std::min(size - got, m_pacer.ReceiveSlice());
        if (m_pacer.PacesReceive()) {
            const Io slept = SleepUntil(m_pacer.ReceiveDue(want));
            if (slept != Io::Ok) {
                return slept;
            }
        }
        if (!m_hFd) {
            return Io::Lost;
        }
        const ssize_t n = RetryOnEintr([&] { return read(m_hFd.Get(), data + got, want); });
        if (n > 0) {
            got += static_cast<size_t>(n);
            m_pacer.Received(static_cast<size_t>(n));
            if (static_cast<size_t>(n) < want) {
                // The tool is behind the line: what follows arrives from now on.
                m_pacer.NoteArrival(Clock::now());
            }
            continue;
        }
        if (n == 0) {
            return Lost("read", EIO);
        }
        if (errno != EAGAIN) {
            return Lost("read", errno);
        }
        const Io waited = WaitReadable(deadline);
        if (waited != Io::Ok) {
            return waited;
        }
    }
    return Io::Ok;
}

size_t StbLine::ReadPending(uint8_t* data, size_t size) {
    if (!m_hFd) {
        return 0;
    }
    const ssize_t n = read(m_hFd.Get(), data, size);
    return n > 0 ? static_cast<size_t>(n) : 0;
}
