#include "record/RecordId.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/base/Eintr.h"

namespace {

void FillRandom(std::uint8_t* bytes, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = RetryOnEintr([&] { return getrandom(bytes + got, count - got, 0); });
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    // Without the kernel's generator (a seccomp jail), random_device still differs per call.
    std::random_device fallback;
    for (; got < count; ++got) {
        bytes[got] = static_cast<std::uint8_t>(fallback());
    }
}

}  // namespace

std::string NewRecordId() {
    std::uint8_t b[16];
    FillRandom(b, sizeof b);
    b[6] = static_cast<std::uint8_t>((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    char text[37];
    std::snprintf(text, sizeof text,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0],
                  b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    return text;
}
