#include "settings/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <optional>

#include "platform/base/Eintr.h"
#include "platform/base/Sys.h"
#include "platform/base/UniqueFd.h"
#include "settings/TemporaryFiles.h"

namespace {

constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;
constexpr int kMaxLinks = 40;  // as the kernel's own limit for a path

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Where the bytes really go: the end of a chain of symbolic links (which need not exist yet),
// or the path itself. Empty with errno set on a loop or an unreadable link.
std::string ResolvedTarget(std::string path) {
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return path;
        }
        char link[PATH_MAX];
        const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
        if (n < 0) {
            return {};
        }
        const std::string to(link, static_cast<std::size_t>(n));
        path = to.front() == '/' ? to : FolderOf(path) + "/" + to;
    }
    errno = ELOOP;
    return {};
}

// The step that failed, for the caller to report: its call and errno.
thread_local const char* t_failedCall = "";

bool Failed(const char* call) {
    t_failedCall = call;
    return false;
}

bool WriteAll(int fd, std::string_view content) {
    off_t at = 0;
    while (!content.empty()) {
        const ssize_t n =
            RetryOnEintr([&] { return Sys().pwrite(fd, content.data(), content.size(), at); });
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return Failed("write");
        }
        content.remove_prefix(static_cast<std::size_t>(n));
        at += n;
    }
    return true;
}

bool Flush(int fd) {
    return Sys().fsync(fd) == 0 || Failed("fsync");
}

// Makes the rename itself durable. Best effort: not every file system can sync a folder.
void SyncFolder(const std::string& folder) {
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) {
        fsync(fd.Get());
    }
}

// Gives the new file the old one's permission bits (the umask may have taken some) and owner.
// False when the owner cannot be kept.
bool KeepOwnerAndMode(int fd, const struct stat* old) {
    if (old == nullptr) {
        return true;
    }
    fchmod(fd, old->st_mode & 07777);
    struct stat now {};
    if (fstat(fd, &now) == 0 && now.st_uid == old->st_uid && now.st_gid == old->st_gid) {
        return true;
    }
    return fchown(fd, old->st_uid, old->st_gid) == 0 && fchmod(fd, old->st_mode & 07777) == 0;
}

enum class Outcome { Done, Failed, RewriteInPlace };

// Renames the flushed temporary file behind `fd` over `target`. A file written without a name
// (O_TMPFILE) is given one only for the moment of the rename.
Outcome RenameOver(int fd, const std::string& target, std::optional<std::string> named) {
    const std::string temp = named ? *named : TemporaryNameFor(target);
    std::optional<PendingTemporary> pending;  // a named file is registered by its maker
    if (!named) {
        pending.emplace(temp);
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            Failed("linkat");
            return Outcome::Failed;
        }
    }
    if (Sys().rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        unlink(temp.c_str());
        errno = err;
        Failed("rename");
        return Outcome::Failed;
    }
    return Outcome::Done;
}

// Opens a temporary file in `target`'s folder: without a name where the file system can, else
// a fresh name (registered while it exists).
UniqueFd OpenTemporary(const std::string& target, mode_t mode, std::optional<std::string>& named) {
    UniqueFd fd(Sys().open(FolderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (fd && access("/proc/self/fd", X_OK) == 0) {
        return fd;
    }
    fd.Reset();
    for (int attempt = 0; attempt < 100; ++attempt) {
        named = TemporaryNameFor(target);
        fd.Reset(
            Sys().open(named->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
        if (fd || errno != EEXIST) {
            break;
        }
    }
    if (!fd) {
        Failed("open");
    }
    return fd;
}

Outcome ReplaceByRename(const std::string& target, std::string_view content,
                        const struct stat* old) {
    std::optional<std::string> named;
    UniqueFd temporary =
        OpenTemporary(target, old != nullptr ? (old->st_mode & 07777) : 0666, named);
    const int fd = temporary.Get();
    if (!temporary) {
        return Outcome::Failed;
    }
    // Registered from before the first byte until the name is gone again.
    std::optional<PendingTemporary> pending;
    if (named) {
        pending.emplace(*named);
    }
    auto dropTemporary = [&] {
        const int err = errno;
        temporary.Reset();
        if (named) {
            unlink(named->c_str());
        }
        errno = err;
    };
    if (!KeepOwnerAndMode(fd, old)) {
        dropTemporary();
        return Outcome::RewriteInPlace;
    }
    if (!WriteAll(fd, content) || !Flush(fd)) {
        dropTemporary();
        return Outcome::Failed;
    }
    const Outcome renamed = RenameOver(fd, target, named);
    const int err = errno;
    temporary.Reset();
    errno = err;
    if (renamed == Outcome::Done) {
        SyncFolder(FolderOf(target));
    }
    return renamed;
}

// The fallback where no rename can keep the file: the bytes written over the old ones, the rest
// cut off, flushed.
bool RewriteInPlace(const std::string& target, std::string_view content) {
    UniqueFd file(Sys().open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0));
    if (!file) {
        return Failed("open");
    }
    const int fd = file.Get();
    const bool ok =
        WriteAll(fd, content) &&
        (Sys().ftruncate(fd, static_cast<off_t>(content.size())) == 0 || Failed("ftruncate")) &&
        Flush(fd);
    const int err = errno;
    file.Reset();
    errno = err;
    return ok;
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

SysResult ReplaceFileAtomically(const std::string& path, std::string_view content) {
    const std::string target = ResolvedTarget(path);
    if (target.empty()) {
        return SysResult::FromErrno("readlink", errno);
    }
    struct stat old {};
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists && IsReadOnlyFile(target)) {
        return SysResult::FromErrno("access", EACCES);
    }
    SweepStaleTemporaries(target);
    Outcome outcome = Outcome::RewriteInPlace;
    t_failedCall = "";
    if (access(FolderOf(target).c_str(), W_OK | X_OK) == 0) {
        outcome = ReplaceByRename(target, content, exists ? &old : nullptr);
    } else if (!exists) {
        return SysResult::FromErrno("access", errno);
    }
    if (outcome == Outcome::RewriteInPlace) {
        if (!exists) {
            return SysResult::FromErrno("access", EPERM);
        }
        outcome = RewriteInPlace(target, content) ? Outcome::Done : Outcome::Failed;
    }
    return outcome == Outcome::Done ? SysResult{} : SysResult::FromErrno(t_failedCall, errno);
}
