#include "hosts/cli/mqtt/ResultSpool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/Eintr.h"
#include "platform/base/SysResult.h"

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

std::string SysError(const char* call, const std::string& path) {
    return DescribeErrno(call, path, errno);
}

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            RetryOnEintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string SpoolPathFor(const std::string& reportPath) {
    return reportPath + ".mqtt-spool";
}

ResultSpool::~ResultSpool() {
    close(m_lockFd);
}

std::unique_ptr<ResultSpool> ResultSpool::Open(const std::string& base, std::string* error) {
    constexpr int kMostRuns = 64;
    std::string path;
    int lockFd = -1;
    for (int n = 1; n <= kMostRuns && lockFd < 0; ++n) {
        path = n == 1 ? base : base + "." + std::to_string(n);
        const std::string lockPath = path + ".lock";
        lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (lockFd < 0) {
            *error = SysError("open", lockPath);
            return nullptr;
        }
        if (flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            close(lockFd);
            lockFd = -1;
        }
    }
    if (lockFd < 0) {
        *error = std::to_string(kMostRuns) + " runs already hold a spool beside " + base;
        return nullptr;
    }
    std::unique_ptr<ResultSpool> spool(new ResultSpool(path, lockFd));
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = SysError("open", path);
        return nullptr;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = RetryOnEintr([&] { return read(fd, buffer, sizeof buffer); });
        if (n < 0) {
            *error = SysError("read", path);
            close(fd);
            return nullptr;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
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
    if (torn && !spool->RewriteLocked(error)) {
        return nullptr;
    }
    return spool;
}

bool ResultSpool::Add(const std::string& slot, const std::string& line, std::string* error) {
    std::lock_guard lock(m_mutex);
    m_entries.push_back({m_next++, slot, line});
    const int fd = open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = SysError("open", m_path);
        return false;
    }
    const bool ok = WriteAll(fd, EscapeSlot(slot) + "\t" + line);
    if (!ok) {
        *error = SysError("write", m_path);
    }
    close(fd);
    m_unsynced = true;
    return ok;
}

bool ResultSpool::Sync(std::string* error) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_unsynced) {
            return true;
        }
        m_unsynced = false;
    }
    // Outside the lock, so that Add never waits for the disk. A Compact in the meantime has
    // flushed its own file; flushing that one again is harmless.
    const int fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool ok = fd >= 0 && fdatasync(fd) == 0;
    if (!ok) {
        *error = SysError("flush", m_path);
    }
    if (fd >= 0) {
        close(fd);
    }
    return ok;
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

bool ResultSpool::Compact(std::string* error) {
    std::lock_guard lock(m_mutex);
    if (!m_dirty) {
        return true;
    }
    return RewriteLocked(error);
}

bool ResultSpool::RewriteLocked(std::string* error) {
    std::string text;
    for (const Entry& entry : m_entries) {
        text += EscapeSlot(entry.slot) + "\t" + entry.line;
    }
    const std::string temporary = m_path + ".new";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = SysError("open", temporary);
        return false;
    }
    const bool ok = WriteAll(fd, text) && fdatasync(fd) == 0;
    close(fd);
    if (!ok || rename(temporary.c_str(), m_path.c_str()) != 0) {
        *error = SysError(ok ? "rename" : "write", temporary);
        unlink(temporary.c_str());
        return false;
    }
    m_dirty = false;
    return true;
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
