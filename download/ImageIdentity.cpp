#include "download/ImageIdentity.h"

#include <sys/stat.h>

namespace {

ImageIdentity FromStat(const struct stat& info) {
    ImageIdentity identity;
    identity.device = static_cast<std::uint64_t>(info.st_dev);
    identity.inode = static_cast<std::uint64_t>(info.st_ino);
    identity.size = static_cast<std::int64_t>(info.st_size);
    identity.mtime = info.st_mtim;
    identity.ctime = info.st_ctim;
    return identity;
}

}  // namespace

bool ImageIdentity::operator==(const ImageIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           mtime.tv_sec == other.mtime.tv_sec && mtime.tv_nsec == other.mtime.tv_nsec &&
           ctime.tv_sec == other.ctime.tv_sec && ctime.tv_nsec == other.ctime.tv_nsec;
}

std::optional<ImageIdentity> IdentityOfPath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return FromStat(info);
}

std::optional<ImageIdentity> IdentityOfFile(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return std::nullopt;
    }
    return FromStat(info);
}

bool ImageUnchanged(const ImageIdentity& seen, const std::string& path, int fd) {
    const std::optional<ImageIdentity> atPath = IdentityOfPath(path);
    const std::optional<ImageIdentity> open = IdentityOfFile(fd);
    return atPath && open && *atPath == seen && *open == seen;
}
