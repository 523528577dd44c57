#include "hosts/cli/PortProbe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string ProbePort(const std::string& devicePath) {
    // O_NONBLOCK: a modem line without carrier must not hold the open.
    const int fd = open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::strerror(errno);
    }
    std::string reason;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        reason = errno == EWOULDBLOCK ? "another program holds it" : std::strerror(errno);
    }
    close(fd);
    return reason;
}
