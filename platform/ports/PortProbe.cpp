#include "platform/ports/PortProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

SysFailure ProbePort(const std::string& devicePath) {
    // O_NONBLOCK: a modem line without carrier must not hold the open.
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return SysFailure(SysResult::FromErrno("open", errno), devicePath);
    }
    SysFailure failure;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK
                      ? SysFailure(SysResult{SysStatus::Busy, "flock", errno}, devicePath,
                                   "another program holds it")
                      : SysFailure(SysResult::FromErrno("flock", errno), devicePath);
    }
    close(fd);
    return failure;
}
