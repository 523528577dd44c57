#include "tools/stbsim/TestImage.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

#include "platform/base/Eintr.h"
#include "platform/base/UniqueFd.h"

namespace stbsim {

std::vector<uint8_t> MakeTestImage(uint64_t size, uint32_t seed) {
    std::vector<uint8_t> image(size);
    uint64_t state = 0x9E3779B97F4A7C15ULL ^ seed;
    for (auto& byte : image) {
        // xorshift64*: fast, and good enough that every byte value turns up.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        byte = static_cast<uint8_t>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return image;
}

uint32_t Crc32(const std::vector<uint8_t>& data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFU;
    for (uint8_t byte : data) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

namespace {

// A reason in the operator's words, without the path (the caller names the file).
SysFailure Why(std::string reason) {
    return Refusal("", std::move(reason));
}

// The size of what `fd` holds when it can be read as an image: a regular file, or a block
// device up to its size. Anything else (a folder, /dev/zero, a FIFO) has no size to serve.
Result<uint64_t> ImageSize(int fd) {
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return Why(std::strerror(errno));
    }
    if (S_ISREG(info.st_mode)) {
        return static_cast<uint64_t>(info.st_size);
    }
    if (S_ISBLK(info.st_mode)) {
        uint64_t size = 0;
        if (ioctl(fd, BLKGETSIZE64, &size) == 0) {
            return size;
        }
        return Why(std::strerror(errno));
    }
    return Why(S_ISDIR(info.st_mode)    ? "it is a folder"
               : S_ISCHR(info.st_mode)  ? "it is a character device, not a file"
               : S_ISFIFO(info.st_mode) ? "it is a FIFO, not a file"
               : S_ISSOCK(info.st_mode) ? "it is a socket, not a file"
                                        : "it is not a regular file");
}

Result<void> ReadAll(int fd, std::vector<uint8_t>& image) {
    std::size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = RetryOnEintr([&] {
            return pread(fd, image.data() + done, image.size() - done, static_cast<off_t>(done));
        });
        if (n < 0) {
            return Why(std::strerror(errno));
        }
        if (n == 0) {
            image.resize(done);  // the file shrank meanwhile
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

}  // namespace

Result<std::vector<uint8_t>> ReadImageFile(const std::string& path, bool* cut) {
    // O_NONBLOCK: a FIFO without a writer would hold the open forever.
    const UniqueFd fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        return Why(std::strerror(errno));
    }
    const Result<uint64_t> size = ImageSize(fd.Get());
    if (!size) {
        return size.Failure();
    }
    if (cut != nullptr) {
        *cut = *size > kImageReach;
    }
    std::vector<uint8_t> image;
    try {
        image.assign(std::min(*size, kImageReach), 0);
    } catch (const std::bad_alloc&) {
        return Why("not enough memory for an image of " + std::to_string(*size) + " bytes");
    }
    if (Result<void> read = ReadAll(fd.Get(), image); !read) {
        return read.Failure();
    }
    return image;
}

Result<void> WriteImageFile(const std::string& path, const std::vector<uint8_t>& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        return Why("cannot write " + path);
    }
    return {};
}

}  // namespace stbsim
