#include "tests/support/pty/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/base/Eintr.h"

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
}

// Waits for `events` on `fd`; false on time-out or when the other side is gone.
bool WaitFor(int fd, short events, Clock::time_point end) {
    pollfd p{fd, events, 0};
    const int n = RetryOnEintr([&] { return ::poll(&p, 1, MsLeft(end)); });
    return n == 1 && (p.revents & events);
}

}  // namespace

Pty::Pty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        throw std::system_error(errno, std::generic_category(), "openpty");
    }
    m_slavePath = name;
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty() {
    ReleaseSlave();
    CloseMaster();
}

void Pty::ReleaseSlave() {
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
}

void Pty::CloseMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

bool Pty::WriteAll(const void* data, std::size_t length, std::chrono::milliseconds deadline) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const Clock::time_point end = Clock::now() + deadline;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            RetryOnEintr([&] { return ::write(m_master, bytes + done, length - done); });
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN) {
            return false;
        } else if (!WaitFor(m_master, POLLOUT, end)) {
            return false;
        }
    }
    return true;
}

bool Pty::WriteAll(const std::vector<std::uint8_t>& bytes, std::chrono::milliseconds deadline) {
    return WriteAll(bytes.data(), bytes.size(), deadline);
}

std::vector<std::uint8_t> Pty::ReadExactly(std::size_t count, std::chrono::milliseconds deadline) {
    const Clock::time_point end = Clock::now() + deadline;
    std::vector<std::uint8_t> out(count);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n =
            RetryOnEintr([&] { return ::read(m_master, out.data() + done, count - done); });
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN) {
            break;
        } else if (!WaitFor(m_master, POLLIN, end)) {
            break;
        }
    }
    out.resize(done);
    return out;
}

std::vector<std::uint8_t> Pty::ReadAvailable() {
    std::vector<std::uint8_t> out;
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return ::read(m_master, chunk, sizeof chunk); });
        if (n <= 0) {
            return out;
        }
        out.insert(out.end(), chunk, chunk + n);
    }
}

std::size_t Pty::PendingForProgram() const {
    int waiting = 0;
    if (m_slave < 0 || ioctl(m_slave, FIONREAD, &waiting) != 0) {
        return 0;
    }
    return static_cast<std::size_t>(waiting);
}
