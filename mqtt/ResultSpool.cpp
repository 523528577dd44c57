#include "mqtt/ResultSpool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/Eintr.h"

namespace {

// The slot of a spooled line travels in front of the record, apart from it by a tab (a record is
// JSON and holds no raw tab; a slot's tab or line break is written as %09 / %0A).
std::string EscapeSlot(const std::string& slot) {
    std::string out;
    for (const char c : slot) {
        if (c == '%' || c == '\t' || c == '\n') {
            static const char kHex[] = "0123456789ABCDEF";
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeSlot(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const char hex[3] = {text[i + 1], text[i + 2], '\0'};
            out += static_cast<char>(std::strtol(hex, nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

SysFailure SysError(const char* call, const std::string& path) {
    return ErrnoFailure(call, path, errno);
}

// Each failure names its own call and keeps its own errno: a write that took nothing says so
// rather than leaving an older errno to be reported.
Result<void> WriteAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            RetryOnEintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
        if (n < 0) {
            return SysError("write", path);
        }
        if (n == 0) {
            return ErrnoFailure("write", path, EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

// The file's data on the disk, then the descriptor closed: either may fail on its own (a full
// disk, a lost network file system), and each says which it was.
Result<void> SyncAndClose(UniqueFd& fd, const std::string& path) {
    if (fdatasync(fd.Get()) != 0) {
        return SysError("fdatasync", path);
    }
    if (fd.Reset() != 0) {
        return SysError("close", path);
    }
    return {};
}

}  // namespace

std::string SpoolPathFor(const std::string& reportPath) {
    return reportPath + ".mqtt-spool";
}

Result<std::unique_ptr<ResultSpool>> ResultSpool::Open(const std::string& base) {
    constexpr int kMostRuns = 64;
    std::string path;
    UniqueFd lock;
    for (int n = 1; n <= kMostRuns && !lock; ++n) {
        path = n == 1 ? base : base + "." + std::to_string(n);
        const std::string lockPath = path + ".lock";
        lock.Reset(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!lock) {
            return SysError("open", lockPath);
        }
        if (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
            lock.Reset();
        }
    }
    if (!lock) {
        return Refusal("", std::to_string(kMostRuns) + " runs already hold a spool beside " + base);
    }
    std::unique_ptr<ResultSpool> spool(new ResultSpool(path, std::move(lock)));
    const UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        return SysError("open", path);
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return read(fd.Get(), buffer, sizeof buffer); });
        if (n < 0) {
            return SysError("read", path);
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    // A line cut short by a crash mid-append was never acknowledged nor whole: it is dropped,
    // as the report keeps the record.
    std::size_t start = 0;
    bool torn = false;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            torn = true;
            break;
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || line.size() == tab + 1) {
            torn = true;
            continue;
        }
        spool->m_entries.push_back(
            {spool->m_next++, UnescapeSlot(line.substr(0, tab)), line.substr(tab + 1) + "\n"});
    }
    if (torn) {
        if (Result<void> rewritten = spool->RewriteLocked(); !rewritten) {
            return rewritten.Failure();
        }
    }
    return spool;
}

Result<void> ResultSpool::Add(const std::string& slot, const std::string& line) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({m_next++, slot, line});
    const UniqueFd fd(open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (!fd) {
        return SysError("open", m_path);
    }
    m_unsynced = true;
    return WriteAll(fd.Get(), EscapeSlot(slot) + "\t" + line, m_path);
}

Result<void> ResultSpool::Sync() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_unsynced) {
            return {};
        }
        m_unsynced = false;
    }
    // Outside the lock, so that Add never waits for the disk. A Compact in the meantime has
    // flushed its own file; flushing that one again is harmless.
    UniqueFd fd(open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return SysError("open", m_path);
    }
    return SyncAndClose(fd, m_path);
}

void ResultSpool::Acknowledge(std::uint64_t seq) {
    std::lock_guard lock(m_mutex);
    const auto it = std::lower_bound(m_entries.begin(), m_entries.end(), seq,
                                     [](const Entry& e, std::uint64_t s) { return e.seq < s; });
    if (it != m_entries.end() && it->seq == seq) {
        m_entries.erase(it);
        m_dirty = true;
    }
    // else: acknowledged twice (a resend after a reconnection)
}

Result<void> ResultSpool::Compact() {
    std::lock_guard lock(m_mutex);
    if (!m_dirty) {
        return {};
    }
    return RewriteLocked();
}

Result<void> ResultSpool::RewriteLocked() {
    std::string text;
    for (const Entry& entry : m_entries) {
        text += EscapeSlot(entry.slot) + "\t" + entry.line;
    }
    const std::string temporary = m_path + ".new";
    UniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) {
        return SysError("open", temporary);
    }
    Result<void> written = WriteAll(fd.Get(), text, temporary);
    if (written) {
        written = SyncAndClose(fd, temporary);
    }
    if (written && rename(temporary.c_str(), m_path.c_str()) != 0) {
        written = SysError("rename", temporary);
    }
    if (!written) {
        unlink(temporary.c_str());
        return written.Failure();
    }
    m_dirty = false;
    return {};
}

std::vector<ResultSpool::Entry> ResultSpool::Pending() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<ResultSpool::Entry> ResultSpool::PendingAfter(std::uint64_t seq,
                                                          std::size_t count) const {
    std::lock_guard lock(m_mutex);
    auto it = std::upper_bound(m_entries.begin(), m_entries.end(), seq,
                               [](std::uint64_t s, const Entry& e) { return s < e.seq; });
    std::vector<Entry> found;
    for (; it != m_entries.end() && found.size() < count; ++it) {
        found.push_back(*it);
    }
    return found;
}

std::size_t ResultSpool::Size() const {
    std::lock_guard lock(m_mutex);
    return m_entries.size();
}
