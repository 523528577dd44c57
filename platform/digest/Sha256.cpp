#include "platform/digest/Sha256.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/base/Eintr.h"

namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

std::string Hex(const unsigned char* bytes, unsigned length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned i = 0; i < length; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return hex;
}

}  // namespace

FileDigest Sha256OfFile(int fd, std::int64_t overlayAt, std::string_view overlay) {
    std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return {{}, "EVP_DigestInit_ex: cannot start SHA-256"};
    }
    std::vector<unsigned char> buffer(1 << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t got =
            RetryOnEintr([&] { return pread(fd, buffer.data(), buffer.size(), offset); });
        if (got < 0) {
            return {{}, std::string("read: ") + std::strerror(errno)};
        }
        if (got == 0) {
            break;
        }
        const std::int64_t from = std::max<std::int64_t>(offset, overlayAt);
        const std::int64_t to = std::min<std::int64_t>(
            offset + got, overlayAt + static_cast<std::int64_t>(overlay.size()));
        if (from < to) {
            std::memcpy(buffer.data() + (from - offset), overlay.data() + (from - overlayAt),
                        static_cast<std::size_t>(to - from));
        }
        EVP_DigestUpdate(context.get(), buffer.data(), static_cast<std::size_t>(got));
        offset += got;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) {
        return {{}, "EVP_DigestFinal_ex: cannot finish SHA-256"};
    }
    return {Hex(digest, length), {}};
}

Sha256Digest Sha256OfBytes(const void* data, std::size_t size) {
    Sha256Digest digest{};
    SHA256(static_cast<const unsigned char*>(data), size, digest.data());
    return digest;
}

std::string Sha256Hex(const Sha256Digest& digest) {
    return Hex(digest.data(), static_cast<unsigned>(digest.size()));
}
