#include "platform/ports/PortProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/UniqueFd.h"

SysFailure ProbePort(const std::string& devicePath) {
    // O_NONBLOCK: a modem line without carrier must not hold the open.
    const UniqueFd fd(open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        return SysFailure(SysResult::FromErrno("open", errno), devicePath);
    }
    SysFailure failure;
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK
                      ? SysFailure(SysResult{SysStatus::Busy, "flock", errno}, devicePath,
                                   "another program holds it")
                      : SysFailure(SysResult::FromErrno("flock", errno), devicePath);
    }
    return failure;
}
