#include "download/ImageFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a folder";
    }
    if (S_ISCHR(mode)) {
        return "it is a character device, not a file";
    }
    if (S_ISFIFO(mode)) {
        return "it is a FIFO, not a file";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket, not a file";
    }
    return "it is not a regular file";
}

ImageFile Refuse(int fd, const char* call, int err, std::string reason) {
    if (fd >= 0) {
        close(fd);
    }
    ImageFile image;
    image.reason = std::move(reason);
    image.result = SysResult::FromErrno(call, err);
    return image;
}

ImageFile RefuseErrno(int fd, const char* call) {
    const int err = errno;
    return Refuse(fd, call, err, std::strerror(err));
}

}  // namespace

ImageFile OpenImageFile(const std::string& path) {
    // O_NONBLOCK: a FIFO without a writer would otherwise hold the open forever.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return RefuseErrno(-1, "open");
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return RefuseErrno(fd, "fstat");
    }
    std::int64_t size = 0;
    if (S_ISREG(info.st_mode)) {
        size = static_cast<std::int64_t>(info.st_size);
    } else if (S_ISBLK(info.st_mode)) {
        std::uint64_t bytes = 0;
        if (ioctl(fd, BLKGETSIZE64, &bytes) != 0) {
            return RefuseErrno(fd, "ioctl(BLKGETSIZE64)");
        }
        size = static_cast<std::int64_t>(bytes);
    } else {
        return Refuse(fd, "fstat", S_ISDIR(info.st_mode) ? EISDIR : EINVAL, KindOf(info.st_mode));
    }
    // Reads from here on may wait for the disk like any file read.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        return RefuseErrno(fd, "fdopen");
    }
    return ImageFile{file, size, {}, {}};
}
