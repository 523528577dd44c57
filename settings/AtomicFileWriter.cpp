#include "settings/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

// Where the bytes really go: the target of a symbolic link, or the path itself.
std::string ResolvedTarget(const std::string& path) {
    char resolved[PATH_MAX];
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name beside the target that no other writer (another thread or process) picks too.
std::string TemporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> s_counter{0};
    const std::string folder = FolderOf(target);
    return (folder == "/" ? "" : folder) + "/." + BaseNameOf(target) + "." +
           std::to_string(getpid()) + "." + std::to_string(s_counter++) + ".tmp";
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes the rename itself durable. Best effort: not every file system can sync a folder.
void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes `content` to a new temporary file and flushes it; returns its name, or empty on failure
// (with errno set and nothing left behind).
std::string WriteTemporary(const std::string& target, std::string_view content,
                           const struct stat* old) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryNameFor(target);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  old != nullptr ? (old->st_mode & 07777) : 0666);
        if (fd < 0 && errno != EEXIST) {
            return {};
        }
    }
    if (fd < 0) {
        return {};
    }
    if (old != nullptr) {
        // The umask may have taken bits the old file had; the owner is kept where allowed.
        fchmod(fd, old->st_mode & 07777);
        (void)!fchown(fd, old->st_uid, old->st_gid);
    }
    const bool ok = WriteAll(fd, content) && fsync(fd) == 0;
    const int err = errno;
    if (close(fd) != 0 || !ok) {
        unlink(temp.c_str());
        errno = ok ? errno : err;
        return {};
    }
    return temp;
}

}  // namespace

bool IsReadOnlyFile(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        return false;
    }
    return !S_ISREG(st.st_mode) || (st.st_mode & kAnyWriteBit) == 0 ||
           access(path.c_str(), W_OK) != 0;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view content, int* errorNumber) {
    const std::string target = ResolvedTarget(path);
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    auto fail = [&](int err) {
        if (errorNumber != nullptr) {
            *errorNumber = err;
        }
        return false;
    };
    if (exists && IsReadOnlyFile(target)) {
        return fail(EACCES);
    }
    const std::string temp = WriteTemporary(target, content, exists ? &old : nullptr);
    if (temp.empty()) {
        return fail(errno);
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        return fail(err);
    }
    SyncFolder(FolderOf(target));
    return true;
}
