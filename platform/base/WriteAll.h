#pragma once

// Writes every byte to a descriptor, however many calls that takes, retrying a call a signal
// interrupted: 0 once all of `bytes` is written, else the errno that stopped it.

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/base/Eintr.h"

inline int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = RetryOnEintr([&] { return write(fd, bytes.data(), bytes.size()); });
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return EIO;  // a descriptor that takes nothing would hold the loop forever
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}
