#include "platform/comm/LowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

void TrySetLowLatency(int fd) {
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) {
        return;
    }
    if (ss.flags & ASYNC_LOW_LATENCY) {
        return;
    }
    ss.flags |= ASYNC_LOW_LATENCY;
    (void)ioctl(fd, TIOCSSERIAL, &ss);
}
