#pragma once

// What tells the image a download started with from a file put in its place or rewritten in
// place: the inode, the size, the modification time and the change time. A `cp` over the image
// keeps the inode but changes the size or the time; a `mv` over it changes the inode; a copy
// that sets the old modification time back (`cp -p`, `rsync --inplace -t`) still changes the
// change time, which no user tool can set back.
//
// Threading rules: none; plain values.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

struct ImageIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::timespec mtime{};
    std::timespec ctime{};

    bool operator==(const ImageIdentity& other) const;
};

// The identity of the file at `path` now; nothing when it cannot be found.
std::optional<ImageIdentity> IdentityOfPath(const std::string& path);
// The identity of the open file `fd`; nothing when fstat fails.
std::optional<ImageIdentity> IdentityOfFile(int fd);

// Whether the image is still the one START saw: the path still names a file with `seen`'s
// identity, and the open file behind `fd` still has its size and time.
bool ImageUnchanged(const ImageIdentity& seen, const std::string& path, int fd);
