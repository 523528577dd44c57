#include "tests/tools/stbsim/responder/ReferenceResponder.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "platform/base/Eintr.h"

ReferenceResponder::ReferenceResponder(std::string device, std::vector<uint8_t> image,
                                       ResponderFaults faults)
    : m_strDevice(std::move(device)), m_image(std::move(image)), m_faults(faults) {}

ReferenceResponder::~ReferenceResponder() {
    if (m_thread.joinable()) {
        Stop();
        m_thread.join();
    }
    if (m_hFd >= 0) {
        close(m_hFd);
    }
    if (m_hWake >= 0) {
        close(m_hWake);
    }
}

bool ReferenceResponder::Start() {
    m_hFd = open(m_strDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_hFd < 0) {
        return false;
    }
    termios tio{};
    tcgetattr(m_hFd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_hFd, TCSANOW, &tio);
    m_hWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_thread = std::thread([this] { Serve(); });
    return true;
}

void ReferenceResponder::Stop() {
    m_bStop = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(m_hWake, &one, sizeof one);
}

ResponderCounts ReferenceResponder::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_counts;
}

// Waits for bytes; false when stopped or when the line is gone.
bool ReferenceResponder::Fill() {
    for (;;) {
        if (m_bStop) {
            return false;
        }
        uint8_t buf[4096];
        const ssize_t n = RetryOnEintr([&] { return read(m_hFd, buf, sizeof buf); });
        if (n > 0) {
            m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(m_nPos));
            m_nPos = 0;
            m_pending.insert(m_pending.end(), buf, buf + n);
            ++m_nReads;
            return true;
        }
        if (n == 0 || errno != EAGAIN) {
            return false;  // the box closed the line
        }
        pollfd fds[2] = {{m_hFd, POLLIN, 0}, {m_hWake, POLLIN, 0}};
        poll(fds, 2, -1);
        if (fds[0].revents & (POLLHUP | POLLERR)) {
            return false;
        }
    }
}

bool ReferenceResponder::Next(uint8_t& byte) {
    if (m_nPos == m_pending.size() && !Fill()) {
        return false;
    }
    byte = m_pending[m_nPos++];
    return true;
}

void ReferenceResponder::Serve() {
    uint8_t byte;
    while (Next(byte)) {
        if (byte != 0x02) {
            ++m_counts.consoleBytes;
            continue;
        }
        const uint64_t firstRead = m_nReads;
        uint8_t command = 0, payload[6] = {}, last = 0;
        bool whole = Next(command);
        for (int i = 0; whole && command == 2 && i < 6; ++i) {
            whole = Next(payload[i]);
        }
        if (!whole || !Next(last)) {
            break;
        }
        if (last != 0x03) {
            ++m_counts.consoleBytes;
            continue;
        }
        if (m_nReads != firstRead) {
            ++m_counts.framesAcrossReads;
        }
        Answer(command, payload);
    }
}

void ReferenceResponder::Answer(uint8_t command, const uint8_t* payload) {
    switch (command) {
        case 1: {
            if (++m_counts.starts <= m_faults.ignoreStarts) {
                return;
            }
            const uint8_t ack[4] = {
                2, 1, static_cast<uint8_t>(m_faults.wrongStartAnswer ? 0x0B : 0x0A), 3};
            Send(ack, sizeof ack);
            return;
        }
        case 2: {
            ++m_counts.dataRequests;
            if (std::any_of(payload, payload + 6, [](uint8_t b) { return b == 2 || b == 3; })) {
                m_counts.sawPayloadStxEtx = true;
            }
            const uint16_t length = static_cast<uint16_t>(payload[0] | payload[1] << 8);
            const uint32_t offset = payload[2] | payload[3] << 8 | payload[4] << 16 |
                                    static_cast<uint32_t>(payload[5]) << 24;
            if (static_cast<int64_t>(offset) != m_faults.skipDataOffset) {
                SendData(offset, length);
            }
            return;
        }
        case 3:
            ++m_counts.timeRequests;
            SendTime();
            return;
        case 4: {
            ++m_counts.exits;
            if (m_faults.answerExit) {
                const uint8_t ack[4] = {2, 4, 0x0A, 3};
                Send(ack, sizeof ack);
            }
            return;
        }
        default:
            ++m_counts.unknown;
            return;
    }
}

void ReferenceResponder::SendData(uint32_t offset, uint16_t length) {
    if (offset >= m_image.size()) {
        return;
    }
    const size_t count = std::min<size_t>(length, m_image.size() - offset);
    std::vector<uint8_t> block(m_image.begin() + offset, m_image.begin() + offset + count);
    const int64_t corrupt = m_faults.corruptOffset - static_cast<int64_t>(offset);
    if (corrupt >= 0 && corrupt < static_cast<int64_t>(count)) {
        block[static_cast<size_t>(corrupt)] ^= 0xFF;
    }
    Send(block.data(), block.size());
}

// The broadcast rule for the Modified Julian Date, as a tool would compute it; the box checks it
// against its own, different computation.
void ReferenceResponder::SendTime() {
    const std::time_t now = std::time(nullptr) + m_faults.timeOffsetSeconds;
    std::tm local{};
    localtime_r(&now, &local);
    const int y = local.tm_year, m = local.tm_mon + 1, d = local.tm_mday;
    const int l = (m == 1 || m == 2) ? 1 : 0;
    const int mjd = 14956 + d + static_cast<int>((y - l) * 365.25) +
                    static_cast<int>((m + 1 + l * 12) * 30.6001);
    const int fields[8] = {2, 3, mjd >> 8, mjd & 0xFF, local.tm_hour, local.tm_min, local.tm_sec,
                           3};
    uint8_t frame[8];
    std::copy(fields, fields + 8, frame);
    Send(frame, sizeof frame);
}

void ReferenceResponder::Send(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size && !m_bStop) {
        const ssize_t n = RetryOnEintr([&] { return write(m_hFd, data + done, size - done); });
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{m_hFd, POLLOUT, 0}, {m_hWake, POLLIN, 0}};
            poll(fds, 2, -1);
        } else {
            return;
        }
    }
}
