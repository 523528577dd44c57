#include "platform/host/ConsoleOutput.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/base/Eintr.h"
#include "platform/host/Host.h"

ConsoleOutput::ConsoleOutput(std::size_t bound) : m_bound(bound) {}

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
    if (!account.writer.joinable()) {
        if (m_stop) {
            // Finish is gathering the writers: a new descriptor is written by its caller.
            lock.unlock();
            WriteOut(fd, text);
            return;
        }
        account.writer = std::thread([this, fd] { Run(fd); });
    }
    // A chunk of its own costs its bookkeeping too: the bound is on memory, so that text
    // arriving a byte at a time between two descriptors cannot hold many times the bound.
    if (m_queued + text.size() + kChunkCost > m_bound) {
        account.dropped += text.size();
        account.unmarked += text.size();
        return;
    }
    if (account.unmarked > 0) {
        QueueMarkerLocked(fd);
    }
    QueueLocked(fd, text);
    // Held text is nothing its writer could take: waking it for each byte of a console echo
    // would cost two context switches a byte. The publication wakes it.
    if (!m_hold) {
        WakeLocked(fd);
    }
    WakeAfter(lock);  // also for what a host too busy to publish had held back
}

void ConsoleOutput::WakeLocked(int fd) {
    Account& account = m_accounts[fd];
    if (!account.writing && !account.resting) {
        m_toWake.push_back(&account.wake);
    }
}

void ConsoleOutput::WakeAfter(std::unique_lock<std::mutex>& lock) {
    if (m_toWake.empty()) {
        return;
    }
    std::vector<std::condition_variable*> wake;
    wake.swap(m_toWake);
    lock.unlock();
    // An account is never erased, so its condition outlives the mutex's release.
    for (std::condition_variable* writer : wake) {
        writer->notify_one();
    }
}

void ConsoleOutput::QueueLocked(int fd, std::string_view text) {
    // Text for one descriptor joins its last chunk while only text it need not wait for (or
    // nothing) was queued after that chunk: a console echoed byte by byte is one write.
    Chunk* last = nullptr;
    for (auto it = m_queue.rbegin(); it != m_queue.rend(); ++it) {
        if (it->fd == fd) {
            last = it->published == !m_hold ? &*it : nullptr;
            break;
        }
        if (!ApartLocked(fd, it->fd)) {
            break;
        }
    }
    if (last != nullptr) {
        last->text.append(text);
    } else {
        m_queue.push_back(Chunk{fd, std::string(text), !m_hold, m_nextSeq++});
        m_queued += kChunkCost;
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
    std::unique_lock lock(m_mutex);
    m_hold = hold;
    if (!hold) {
        PublishLocked();
        WakeAfter(lock);
    }
}

void ConsoleOutput::SetApart(int fd) {
    std::lock_guard lock(m_mutex);
    m_accounts[fd].apart = true;
}

bool ConsoleOutput::ApartLocked(int a, int b) const {
    const auto apart = [this](int fd) {
        const auto it = m_accounts.find(fd);
        return it != m_accounts.end() && it->second.apart;
    };
    return apart(a) || apart(b);
}

void ConsoleOutput::Publish() {
    std::unique_lock lock(m_mutex);
    PublishLocked();
    WakeAfter(lock);
}

void ConsoleOutput::PublishLocked() {
    // A host publishes whenever it falls idle, mostly with nothing new: only a writer whose
    // descriptor has news is woken.
    for (Chunk& chunk : m_queue) {
        if (!chunk.published) {
            chunk.published = true;
            WakeLocked(chunk.fd);
        }
    }
    m_unpublished = 0;
}

bool ConsoleOutput::PendingLocked(int fd) const {
    for (const Chunk& chunk : m_queue) {
        if (fd < 0 || chunk.fd == fd) {
            return true;
        }
    }
    for (const auto& [each, account] : m_accounts) {
        if ((fd < 0 || each == fd) && account.writing) {
            return true;
        }
    }
    return false;
}

void ConsoleOutput::Drain(int fd) {
    std::unique_lock lock(m_mutex);
    PublishLocked();
    ++m_draining;
    // Resting writers write what they gathered now: the caller waits for it.
    m_toWake.clear();
    for (auto& [each, account] : m_accounts) {
        account.wake.notify_one();
    }
    m_drained.wait(lock, [this, fd] { return m_finished || !PendingLocked(fd); });
    --m_draining;
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
        m_toWake.clear();
        for (auto& [fd, account] : m_accounts) {
            account.wake.notify_one();
        }
    }
    // The writers end once their text is out; a map entry is never erased, so the threads stay.
    std::vector<std::thread*> writers;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [fd, account] : m_accounts) {
            writers.push_back(&account.writer);
        }
    }
    for (std::thread* writer : writers) {
        if (writer->joinable()) {
            writer->join();
        }
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

bool ConsoleOutput::StuckLocked(int fd, Clock::time_point now) const {
    const auto it = m_accounts.find(fd);
    return it != m_accounts.end() && it->second.writing && now - it->second.writingSince >= kStuck;
}

std::optional<std::size_t> ConsoleOutput::NextForLocked(int fd, Clock::time_point now) const {
    std::size_t index = 0;
    while (index < m_queue.size() && m_queue[index].fd != fd) {
        ++index;
    }
    if (index == m_queue.size() || !m_queue[index].published) {
        return std::nullopt;
    }
    const std::uint64_t seq = m_queue[index].seq;
    // Text queued before it for another descriptor goes first, unless that one is stuck or
    // the two are apart.
    for (std::size_t earlier = 0; earlier < index; ++earlier) {
        const int other = m_queue[earlier].fd;
        if (!ApartLocked(fd, other) && !StuckLocked(other, now)) {
            return std::nullopt;
        }
    }
    for (const auto& [other, account] : m_accounts) {
        if (other != fd && account.writing && account.writingSeq < seq && !ApartLocked(fd, other) &&
            !StuckLocked(other, now)) {
            return std::nullopt;
        }
    }
    return index;
}

void ConsoleOutput::Run(int fd) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        const std::optional<std::size_t> next = NextForLocked(fd, Clock::now());
        if (!next) {
            if (m_stop && !PendingLocked(fd)) {
                return;  // stopped, and everything of this descriptor is written
            }
            const bool heldBack = std::any_of(m_queue.begin(), m_queue.end(), [fd](const Chunk& c) {
                return c.fd == fd && c.published;
            });
            if (heldBack) {
                // Held back by another descriptor's text, whose write may become stuck: look
                // again then.
                m_accounts[fd].wake.wait_for(lock, kStuck);
            } else {
                m_accounts[fd].wake.wait(lock);
            }
            continue;
        }
        Chunk chunk = std::move(m_queue[*next]);
        m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(*next));
        // What else of this descriptor was published while it rested, and need not wait for
        // another's text, goes out in the same write.
        for (std::size_t i = *next; i < m_queue.size();) {
            Chunk& later = m_queue[i];
            if (later.fd == fd && later.published) {
                chunk.text += later.text;
                m_queued -= kChunkCost;
                m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(i));
            } else if (later.fd != fd && ApartLocked(fd, later.fd)) {
                ++i;
            } else {
                break;
            }
        }
        Account& account = m_accounts[fd];
        account.writing = true;
        account.writingSeq = chunk.seq;
        account.writingSince = Clock::now();
        const bool failed = account.failed;
        lock.unlock();
        const int error = failed ? 0 : WriteOut(chunk.fd, chunk.text);
        const bool ok = !failed && error == 0;
        lock.lock();
        account.writing = false;
        m_queued -= chunk.text.size() + kChunkCost;
        if (!ok && !account.failed) {
            account.failed = true;
            account.error = error;
        }
        // Whoever waited for this write: writers whose text was queued after it, a Drain.
        for (const Chunk& waiting : m_queue) {
            if (waiting.fd != fd && waiting.published) {
                m_accounts[waiting.fd].wake.notify_one();
            }
        }
        if (m_draining > 0) {
            m_drained.notify_all();
        }
        if (!ok) {
            continue;
        }
        // What comes meanwhile is gathered into the next write.
        account.resting = true;
        account.wake.wait_for(lock, kGather, [this] { return m_stop || m_draining > 0; });
        account.resting = false;
    }
}

void ConsoleOutput::Forget(int fd) {
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(fd);
    if (it != m_accounts.end()) {
        Account& account = it->second;
        account.dropped = account.unmarked = 0;
        account.lastEndedLine = true;
        account.failed = false;
        account.error = 0;
        account.apart = false;
    }
}

int ConsoleOutput::FailedWith(int fd) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_accounts.find(fd);
    return it == m_accounts.end() || !it->second.failed ? 0 : it->second.error;
}

int ConsoleOutput::WriteOut(int fd, std::string_view text) {
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
        return n < 0 ? errno : ENOSPC;  // EPIPE, EIO, ENOSPC...: this descriptor is done for
    }
    return 0;
}

void WriteStdout(std::string_view text) {
    ConsoleOutput::Process().Write(STDOUT_FILENO, text);
}

void WriteStderr(std::string_view text) {
    ConsoleOutput::Process().Write(STDERR_FILENO, text);
}
