#include "platform/base/Sys.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

const SysCalls kReal = {
    [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
    [](int fd) { return ::close(fd); },
    [](int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); },
    [](int fd, const void* data, size_t size) { return ::write(fd, data, size); },
    [](int fd, const void* data, size_t size, off_t at) { return ::pwrite(fd, data, size, at); },
    [](int fd, off_t size) { return ::ftruncate(fd, size); },
    [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); },
    [](int fd, unsigned long request, int* value) { return ::ioctl(fd, request, value); },
    [](int fd) { return ::fsync(fd); },
    [](const char* from, const char* to) { return std::rename(from, to); },
};

std::atomic<const SysCalls*> g_calls{&kReal};

}  // namespace

const SysCalls& Sys() {
    return *g_calls.load(std::memory_order_acquire);
}

const SysCalls& RealSysCalls() {
    return kReal;
}

ScopedSysCalls::ScopedSysCalls(const SysCalls& calls) : m_previous(g_calls.exchange(&calls)) {}

ScopedSysCalls::~ScopedSysCalls() {
    g_calls.store(m_previous);
}
