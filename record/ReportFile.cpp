#include "record/ReportFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/base/Eintr.h"

namespace {

// Whether a non-empty file lacks its final line break.
bool EndsMidLine(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size == 0) {
        return false;
    }
    char last = '\n';
    return pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n';
}

// The new file's name must survive a crash too.
void SyncFolder(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        fsync(fd.Get());
    }
}

}  // namespace

Result<std::unique_ptr<ReportFile>> ReportFile::Open(const std::string& path) {
    // Non-blocking only to open: a FIFO nobody reads must not hold the tool before the first box.
    UniqueFd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd) {
        return ErrnoFailure("open", path, errno);
    }
    fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) {
        return ErrnoFailure("fstat", path, errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return ErrnoFailure("open", path, EISDIR);
    }
    const bool regular = S_ISREG(info.st_mode);
    bool needsBreak = false;
    if (regular) {
        // Read back through a second descriptor: the report's own is write-only.
        const UniqueFd reader(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (reader) {
            needsBreak = EndsMidLine(reader.Get());
        }
        SyncFolder(path);
    }
    return std::unique_ptr<ReportFile>(new ReportFile(std::move(fd), path, needsBreak, regular));
}

Result<void> ReportFile::Append(const std::string& line) {
    const std::string text = m_needsBreak ? "\n" + line : line;
    // One write() puts the whole line at the end at once. A second is needed only when the
    // first was cut short, and then it is there to learn why (a full disk, a size limit).
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written =
            RetryOnEintr([&] { return write(m_fd.Get(), text.data() + done, text.size() - done); });
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        const int err = written < 0 ? errno : ENOSPC;
        // Take the piece back, so the file still ends on a whole line.
        const off_t end = lseek(m_fd.Get(), 0, SEEK_END);
        if (done > 0 && end >= static_cast<off_t>(done)) {
            (void)!ftruncate(m_fd.Get(), end - static_cast<off_t>(done));
        }
        return ErrnoFailure("write", m_path, err);
    }
    m_needsBreak = false;
    if (m_regular && fsync(m_fd.Get()) != 0) {
        return ErrnoFailure("fsync", m_path, errno);
    }
    return {};
}

Result<void> ReportFile::Probe() {
    if (RetryOnEintr([&] { return write(m_fd.Get(), "", 0); }) < 0) {
        return ErrnoFailure("write", m_path, errno);
    }
    struct statvfs room {};
    if (m_regular && fstatvfs(m_fd.Get(), &room) == 0 && room.f_bavail == 0) {
        return ErrnoFailure("write", m_path, ENOSPC);
    }
    return {};
}
