#include "download/ImageFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/UniqueFd.h"

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

ImageFile Refuse(const char* call, int err, std::string reason) {
    ImageFile image;
    image.reason = std::move(reason);
    image.result = SysResult::FromErrno(call, err);
    return image;
}

ImageFile RefuseErrno(const char* call) {
    const int err = errno;
    return Refuse(call, err, std::strerror(err));
}

}  // namespace

ImageFile OpenImageFile(const std::string& path) {
    // O_NONBLOCK: a FIFO without a writer would otherwise hold the open forever.
    UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        return RefuseErrno("open");
    }
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) {
        return RefuseErrno("fstat");
    }
    std::int64_t size = 0;
    if (S_ISREG(info.st_mode)) {
        size = static_cast<std::int64_t>(info.st_size);
    } else if (S_ISBLK(info.st_mode)) {
        std::uint64_t bytes = 0;
        if (ioctl(fd.Get(), BLKGETSIZE64, &bytes) != 0) {
            return RefuseErrno("ioctl(BLKGETSIZE64)");
        }
        size = static_cast<std::int64_t>(bytes);
    } else {
        return Refuse("fstat", S_ISDIR(info.st_mode) ? EISDIR : EINVAL, KindOf(info.st_mode));
    }
    // Reads from here on may wait for the disk like any file read.
    fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(fd.Get(), "rb");
    if (file == nullptr) {
        return RefuseErrno("fdopen");
    }
    fd.Release();  // the stream owns it now
    return ImageFile{file, size, {}, {}};
}
