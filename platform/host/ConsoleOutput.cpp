#include "platform/host/ConsoleOutput.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/Eintr.h"
#include "platform/host/Host.h"

ConsoleOutput::ConsoleOutput(std::size_t bound) : m_bound(bound) {
    m_thread = std::thread([this] { Run(); });
}

ConsoleOutput::~ConsoleOutput() {
    Finish();
}

ConsoleOutput& ConsoleOutput::Process() {
    static ConsoleOutput s_output;
    return s_output;
}

void ConsoleOutput::Write(int fd, std::string_view text) {
    if (text.empty()) {
        return;
    }
    std::unique_lock lock(m_mutex);
    if (m_finished) {
        lock.unlock();
        WriteOut(fd, text);
        return;
    }
    Account& account = m_accounts[fd];
    if (account.failed) {
        return;
    }
    if (m_queued + text.size() > m_bound) {
        account.dropped += text.size();
        account.unmarked += text.size();
        return;
    }
    if (account.unmarked > 0) {
        QueueMarkerLocked(fd);
    }
    QueueLocked(fd, text);
    m_wake.notify_one();
}

void ConsoleOutput::QueueLocked(int fd, std::string_view text) {
    // Consecutive text for one descriptor (a console echoed byte by byte) is one write.
    if (!m_queue.empty() && m_queue.back().fd == fd && m_queue.back().published == !m_hold) {
        m_queue.back().text.append(text);
    } else {
        m_queue.push_back(Chunk{fd, std::string(text), !m_hold});
    }
    m_queued += text.size();
    m_accounts[fd].lastEndedLine = text.back() == '\n';
    // A host that stays busy for long must not have its text held until the bound drops it.
    if (m_hold && (m_unpublished += text.size()) > kMaxHeld) {
        PublishLocked();
    }
}

void ConsoleOutput::QueueMarkerLocked(int fd) {
    Account& account = m_accounts[fd];
    std::string marker = account.lastEndedLine ? "" : "\n";
    marker += "[" + ApplicationName() + ": " + std::to_string(account.unmarked) +
              " bytes of output dropped here: nothing was reading them]\n";
    account.unmarked = 0;
    QueueLocked(fd, marker);
}

void ConsoleOutput::HoldUntilPublished(bool hold) {
    std::lock_guard lock(m_mutex);
    m_hold = hold;
    if (!hold) {
        PublishLocked();
    }
}

void ConsoleOutput::Publish() {
    std::lock_guard lock(m_mutex);
    PublishLocked();
}

void ConsoleOutput::PublishLocked() {
    for (Chunk& chunk : m_queue) {
        chunk.published = true;
    }
    m_unpublished = 0;
    m_wake.notify_one();
}

void ConsoleOutput::Drain() {
    std::unique_lock lock(m_mutex);
    PublishLocked();
    m_drained.wait(lock, [this] { return m_finished || (m_queue.empty() && !m_writing); });
}

void ConsoleOutput::Finish() {
    {
        std::lock_guard lock(m_mutex);
        if (m_finished) {
            return;
        }
        // Whatever was lost is said at the end, even past the bound.
        for (auto& [fd, account] : m_accounts) {
            if (account.unmarked > 0 && !account.failed) {
                QueueMarkerLocked(fd);
            }
        }
        m_stop = true;
        PublishLocked();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard lock(m_mutex);
    m_finished = true;
    m_drained.notify_all();
}

std::uint64_t ConsoleOutput::Dropped(int fd) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(fd);
    return it == m_accounts.end() ? 0 : it->second.dropped;
}

void ConsoleOutput::Run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock,
                    [this] { return m_stop || (!m_queue.empty() && m_queue.front().published); });
        if (m_queue.empty()) {
            return;  // stopped, and everything is written
        }
        Chunk chunk = std::move(m_queue.front());
        m_queue.pop_front();
        m_writing = true;
        lock.unlock();
        const bool ok = WriteOut(chunk.fd, chunk.text);
        lock.lock();
        m_writing = false;
        m_queued -= chunk.text.size();
        if (!ok) {
            m_accounts[chunk.fd].failed = true;
        }
        if (m_queue.empty()) {
            m_drained.notify_all();
        }
    }
}

bool ConsoleOutput::WriteOut(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = RetryOnEintr([&] { return write(fd, text.data(), text.size()); });
        if (n > 0) {
            text.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Someone made the descriptor non-blocking: wait for room as a blocking write would.
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, -1);
            continue;
        }
        return false;  // EPIPE, EIO, ENOSPC...: this descriptor is done for
    }
    return true;
}

void WriteStdout(std::string_view text) {
    ConsoleOutput::Process().Write(STDOUT_FILENO, text);
}

void WriteStderr(std::string_view text) {
    ConsoleOutput::Process().Write(STDERR_FILENO, text);
}
