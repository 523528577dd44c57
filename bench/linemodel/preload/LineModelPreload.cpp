// liblinemodel_preload.so: loaded into the server under test (LD_PRELOAD) together with the
// environment variable STAVEL_LINE_MODEL naming the line model's shared-state file. On the one
// terminal the model stands behind, it answers TIOCOUTQ and tcdrain as the modelled adapter
// would, and counts them; every other descriptor goes straight to the C library.

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "bench/linemodel/LineModel.h"

namespace {

LineModelShared* g_shared = nullptr;
std::atomic<int> g_modelFd{-1};

template <typename Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void MapShared() {
    const char* path = std::getenv("STAVEL_LINE_MODEL");
    if (path == nullptr) {
        return;
    }
    std::string error;
    g_shared = MapLineModel(path, false, error);
}

bool IsModelled(int fd) {
    return g_shared != nullptr && fd >= 0 && fd == g_modelFd.load(std::memory_order_acquire);
}

int NoteOpen(const char* path, int fd) {
    if (fd >= 0 && g_shared != nullptr && std::strcmp(path, g_shared->innerPath) == 0) {
        g_modelFd.store(fd, std::memory_order_release);
    }
    return fd;
}

void SleepUntil(std::int64_t ns) {
    const timespec at{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
    }
}

std::uint64_t NotYetTaken() {
    return g_shared->serverWritten.load() - g_shared->relayTaken.load();
}

int KernelQueued() {
    const LineModelConfig& config = g_shared->config;
    const std::int64_t left = g_shared->wireFreeAtNs.load() - MonotonicNs();
    const std::int64_t onWire = left > 0 ? (left + config.ByteNs() - 1) / config.ByteNs() : 0;
    const std::int64_t inKernel = std::max<std::int64_t>(0, onWire - config.fifo);
    return static_cast<int>(inKernel + static_cast<std::int64_t>(NotYetTaken()));
}

// The chip is looked at once per kernel tick; on a USB adapter each look is a control transfer
// that takes its time before the answer is known.
int ModelDrain() {
    const LineModelConfig& config = g_shared->config;
    const std::int64_t start = MonotonicNs();
    for (;;) {
        const std::int64_t tick = (MonotonicNs() / config.tickNs + 1) * config.tickNs;
        SleepUntil(tick + config.drainLookNs);
        if (NotYetTaken() == 0 && g_shared->wireFreeAtNs.load() <= tick) {
            break;
        }
    }
    g_shared->drainCalls.fetch_add(1);
    g_shared->drainNs.fetch_add(static_cast<std::uint64_t>(MonotonicNs() - start));
    return 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    static auto real = Next<int (*)(const char*, int, ...)>("open");
    return NoteOpen(path, real(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list args;
        va_start(args, flags);
        mode = va_arg(args, mode_t);
        va_end(args);
    }
    static auto real = Next<int (*)(const char*, int, ...)>("open64");
    return NoteOpen(path, real(path, flags, mode));
}

int __open_2(const char* path, int flags) {
    static auto real = Next<int (*)(const char*, int)>("__open_2");
    return NoteOpen(path, real(path, flags));
}

int __open64_2(const char* path, int flags) {
    static auto real = Next<int (*)(const char*, int)>("__open64_2");
    return NoteOpen(path, real(path, flags));
}

int close(int fd) {
    static auto real = Next<int (*)(int)>("close");
    int expected = fd;
    g_modelFd.compare_exchange_strong(expected, -1);
    return real(fd);
}

ssize_t write(int fd, const void* data, size_t size) {
    static auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t n = real(fd, data, size);
    if (n > 0 && IsModelled(fd)) {
        g_shared->serverWritten.fetch_add(static_cast<std::uint64_t>(n));
    }
    return n;
}

int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (request == TIOCOUTQ && IsModelled(fd)) {
        g_shared->outqCalls.fetch_add(1);
        *static_cast<int*>(arg) = KernelQueued();
        return 0;
    }
    static auto real = Next<int (*)(int, unsigned long, void*)>("ioctl");
    return real(fd, request, arg);
}

int tcdrain(int fd) {
    if (IsModelled(fd)) {
        return ModelDrain();
    }
    static auto real = Next<int (*)(int)>("tcdrain");
    return real(fd);
}

}  // extern "C"
