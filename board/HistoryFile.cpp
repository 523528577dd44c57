#include "board/HistoryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "platform/base/Eintr.h"

namespace {

Result<void> WriteAll(int fd, const std::string& bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            RetryOnEintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
        if (n <= 0) {
            return ErrnoFailure("write", path, n < 0 ? errno : EIO);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

// Each line of `path` that is a result, into `each`; answers how many lines it has.
std::size_t ReadSegment(const std::string& path,
                        const std::function<void(const HistoryResult&)>& each) {
    std::ifstream in(path, std::ios::binary);
    std::size_t lines = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lines;
        if (const std::optional<HistoryResult> result = ResultFromHistoryLine(line)) {
            each(*result);
        }
    }
    return lines;
}

}  // namespace

Result<std::unique_ptr<HistoryFile>> HistoryFile::Open(
    const std::string& path, std::size_t segmentLines,
    const std::function<void(const HistoryResult&)>& each) {
    const std::string lockPath = path + ".lock";
    UniqueFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!lock) {
        return ErrnoFailure("open", lockPath, errno);
    }
    if (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK
                   ? Refusal(path,
                             "another board keeps its history there; give this one a "
                             "--history of its own")
                   : ErrnoFailure("flock", lockPath, errno);
    }
    std::unique_ptr<HistoryFile> file(new HistoryFile(path, segmentLines, std::move(lock)));
    for (int n = kOlderSegments; n >= 1; --n) {
        ReadSegment(file->Segment(n), each);
    }
    file->m_lines = ReadSegment(path, each);
    if (Result<void> opened = file->OpenCurrent(); !opened) {
        return opened.Failure();
    }
    return file;
}

Result<void> HistoryFile::OpenCurrent() {
    m_fd.Reset(open(m_path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    if (!m_fd) {
        return ErrnoFailure("open", m_path, errno);
    }
    // A line torn by a crash is ended, so that the next result starts a line of its own.
    struct stat info {};
    if (fstat(m_fd.Get(), &info) == 0 && info.st_size > 0) {
        char last = '\n';
        const UniqueFd reader(open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
        if (reader && pread(reader.Get(), &last, 1, info.st_size - 1) == 1 && last != '\n') {
            return WriteAll(m_fd.Get(), "\n", m_path);
        }
    }
    return {};
}

Result<void> HistoryFile::Rotate() {
    if (Result<void> synced = Sync(); !synced) {
        return synced;
    }
    for (int n = kOlderSegments; n >= 1; --n) {
        const std::string from = Segment(n - 1);
        if (std::rename(from.c_str(), Segment(n).c_str()) != 0 && errno != ENOENT) {
            return ErrnoFailure("rename", from, errno);
        }
    }
    m_lines = 0;
    return OpenCurrent();
}

Result<void> HistoryFile::Append(const HistoryResult& result) {
    if (m_lines >= m_segmentLines) {
        if (Result<void> rotated = Rotate(); !rotated) {
            return rotated;
        }
    }
    if (!m_fd) {
        if (Result<void> opened = OpenCurrent(); !opened) {
            return opened;
        }
    }
    ++m_lines;
    m_unsynced = true;
    return WriteAll(m_fd.Get(), HistoryLine(result) + "\n", m_path);
}

Result<void> HistoryFile::Sync() {
    if (!m_unsynced || !m_fd) {
        return {};
    }
    m_unsynced = false;
    if (fdatasync(m_fd.Get()) != 0) {
        return ErrnoFailure("fdatasync", m_path, errno);
    }
    return {};
}

UniqueFd HistoryFile::Unflushed() {
    if (!m_unsynced || !m_fd) {
        return UniqueFd();
    }
    m_unsynced = false;
    return UniqueFd(fcntl(m_fd.Get(), F_DUPFD_CLOEXEC, 0));
}
