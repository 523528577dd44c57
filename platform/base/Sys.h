#pragma once

// The seam under the operating system. The serial port and the settings writer make their
// system calls through this table rather than straight into the C library, so that a test can
// make EINTR, short writes, EAGAIN and ENOSPC happen on purpose instead of waiting for a pty or
// a full disk to produce them. The product never replaces the table; it costs one indirect call.
//
// Threading rules: replace the table (ScopedSysCalls) only while no other thread makes these
// calls: before a port opens, after it has closed.

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>

struct SysCalls {
    int (*open)(const char* path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    ssize_t (*write)(int fd, const void* data, size_t size);
    ssize_t (*pwrite)(int fd, const void* data, size_t size, off_t at);
    int (*ftruncate)(int fd, off_t size);
    int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
    // ioctl requests that read or write one int (FIONREAD, TIOCOUTQ).
    int (*ioctlInt)(int fd, unsigned long request, int* value);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};

// The table in force: the C library's unless a test has replaced it.
const SysCalls& Sys();
// The C library's own, for a replacement to fall through to.
const SysCalls& RealSysCalls();

// Puts `calls` in force for the object's lifetime.
class ScopedSysCalls {
  public:
    explicit ScopedSysCalls(const SysCalls& calls);
    ~ScopedSysCalls();
    ScopedSysCalls(const ScopedSysCalls&) = delete;
    ScopedSysCalls& operator=(const ScopedSysCalls&) = delete;

  private:
    const SysCalls* m_previous;
};
