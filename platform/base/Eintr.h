#pragma once

// The one place that retries a system call a signal interrupted. poll and read are never
// restarted by the kernel after a signal handler ran, so every call site would need this loop.

#include <cerrno>

template <typename Call>
auto RetryOnEintr(Call call) {
    for (;;) {
        auto result = call();
        if (!(result < 0 && errno == EINTR)) {
            return result;
        }
    }
}
