#include "bench/linemodel/LineRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/base/Eintr.h"

namespace {

void Close(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

bool WriteAllTo(int fd, const std::uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = RetryOnEintr([&] { return write(fd, data, size); });
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd out{fd, POLLOUT, 0};
            poll(&out, 1, 100);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace

LineRelay::~LineRelay() {
    Stop();
}

bool LineRelay::Start(const std::string& boxDevice, const LineModelConfig& config,
                      const std::string& sharedFile, std::string& error) {
    m_config = config;
    m_shared = MapLineModel(sharedFile, true, error);
    if (m_shared == nullptr) {
        return false;
    }
    m_shared->config = config;
    m_box = open(boxDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (m_box < 0 || openpty(&m_master, &m_slaveKeep, name, &raw, nullptr) != 0) {
        error = "line model: cannot open " + boxDevice + " or a pty: " + std::strerror(errno);
        return false;
    }
    termios boxRaw{};
    if (tcgetattr(m_box, &boxRaw) == 0) {
        cfmakeraw(&boxRaw);
        tcsetattr(m_box, TCSANOW, &boxRaw);
    }
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slaveKeep, F_SETFD, FD_CLOEXEC);
    m_innerPath = name;
    std::snprintf(m_shared->innerPath, sizeof m_shared->innerPath, "%s", name);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void LineRelay::Stop() {
    if (m_thread.joinable()) {
        m_stop.store(true);
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_wake, &one, sizeof one);
        m_thread.join();
    }
    Close(m_box);
    Close(m_master);
    Close(m_slaveKeep);
    Close(m_wake);
    UnmapLineModel(m_shared);
    m_shared = nullptr;
}

// Each byte leaves the wire one byte time after the one before it, or after it was written when
// the line was idle. Only the kernel's queue and the chip's FIFO bound how much is taken.
bool LineRelay::TakeFromServer(std::int64_t now) {
    const size_t room = m_config.kernelQueue + m_config.fifo;
    while (m_tx.size() < room) {
        std::uint8_t buffer[512];
        const ssize_t n = RetryOnEintr(
            [&] { return read(m_master, buffer, std::min(sizeof buffer, room - m_tx.size())); });
        if (n <= 0) {
            return n < 0 && (errno == EAGAIN || errno == EIO);
        }
        for (ssize_t i = 0; i < n; ++i) {
            m_wireFreeAt = std::max(m_wireFreeAt, now) + m_config.ByteNs();
            m_tx.push_back({buffer[i], m_wireFreeAt});
        }
        m_shared->wireFreeAtNs.store(m_wireFreeAt);
        m_shared->relayTaken.fetch_add(static_cast<std::uint64_t>(n));
    }
    return true;
}

bool LineRelay::SendToBox(std::int64_t now) {
    std::vector<std::uint8_t> gone;
    while (!m_tx.empty() && m_tx.front().leavesNs <= now) {
        gone.push_back(m_tx.front().byte);
        m_tx.pop_front();
    }
    return gone.empty() || WriteAllTo(m_box, gone.data(), gone.size());
}

// The box's side paces its bytes onto the line and hands over each piece once its last byte is
// through, so a piece read now ended now and its bytes arrived one byte time apart before that.
bool LineRelay::TakeFromBox(std::int64_t now) {
    std::uint8_t buffer[1024];
    const ssize_t n = RetryOnEintr([&] { return read(m_box, buffer, sizeof buffer); });
    if (n == 0 || (n < 0 && errno != EAGAIN)) {
        return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
        const std::int64_t backDated = now - (n - 1 - i) * m_config.ByteNs();
        m_lastArrival = std::max(backDated, m_lastArrival + m_config.ByteNs());
        m_rx.push_back({buffer[i], m_lastArrival});
    }
    return true;
}

// The latest arrival time whose bytes the server may have by now.
std::int64_t LineRelay::DeliverableUpTo(std::int64_t now) const {
    if (m_config.kind == LineKind::Ftdi) {
        return now / m_config.packetNs * m_config.packetNs;
    }
    // A 16550 interrupts at its trigger level, or when the line has been quiet for four
    // character times with bytes still in its FIFO.
    size_t arrived = 0;
    while (arrived < m_rx.size() && m_rx[arrived].atNs <= now) {
        ++arrived;
    }
    if (arrived >= m_config.rxTrigger) {
        return now;
    }
    if (arrived > 0 && m_rx[arrived - 1].atNs + 4 * m_config.ByteNs() <= now &&
        arrived == m_rx.size()) {
        return now;
    }
    return LLONG_MIN;
}

bool LineRelay::DeliverToServer(std::int64_t now) {
    const std::int64_t upTo = DeliverableUpTo(now);
    std::vector<std::uint8_t> packet;
    while (!m_rx.empty() && m_rx.front().atNs <= upTo) {
        packet.push_back(m_rx.front().byte);
        m_rx.pop_front();
    }
    return packet.empty() || WriteAllTo(m_master, packet.data(), packet.size());
}

std::int64_t LineRelay::NextWakeNs(std::int64_t now) const {
    std::int64_t wake = LLONG_MAX;
    if (!m_tx.empty()) {
        // Wake every millisecond while bytes are on the wire, and exactly when the last leaves,
        // so the box sees the end of a block on time.
        wake = std::min(m_tx.back().leavesNs, std::max(m_tx.front().leavesNs, now + 1000000));
    }
    if (!m_rx.empty()) {
        const std::int64_t due =
            m_config.kind == LineKind::Ftdi
                ? (m_rx.front().atNs / m_config.packetNs + 1) * m_config.packetNs
                : m_rx.back().atNs + 4 * m_config.ByteNs();
        wake = std::min(wake, std::max(due, now));
    }
    return wake;
}

void LineRelay::Run() {
    while (!m_stop.load()) {
        const std::int64_t now = MonotonicNs();
        if (!TakeFromServer(now) || !SendToBox(now) || !DeliverToServer(now)) {
            break;
        }
        const std::int64_t wake = NextWakeNs(now);
        const bool roomForServer = m_tx.size() < m_config.kernelQueue + m_config.fifo;
        pollfd fds[3] = {{m_box, POLLIN, 0},
                         {m_master, static_cast<short>(roomForServer ? POLLIN : 0), 0},
                         {m_wake, POLLIN, 0}};
        timespec timeout{};
        timespec* wait = nullptr;
        if (wake != LLONG_MAX) {
            const std::int64_t left = std::max<std::int64_t>(0, wake - MonotonicNs());
            timeout = {static_cast<time_t>(left / 1000000000),
                       static_cast<long>(left % 1000000000)};
            wait = &timeout;
        }
        if (RetryOnEintr([&] { return ppoll(fds, 3, wait, nullptr); }) < 0) {
            break;
        }
        if ((fds[0].revents & POLLIN) && !TakeFromBox(MonotonicNs())) {
            break;
        }
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            break;
        }
    }
    // The box went away: the server sees its adapter go too.
    Close(m_master);
}
