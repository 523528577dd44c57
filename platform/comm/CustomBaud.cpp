// This file must not include <termios.h>: <asm/termbits.h> defines the same names (struct
// termios, the c_cflag bits) with the kernel's layout, and only the kernel's struct termios2
// carries a free-form baud rate.
#include "platform/comm/CustomBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SetCustomBaud(int fd, unsigned baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return errno;
    }
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ospeed = baud;
    tio.c_ispeed = baud;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        return errno;
    }
    return 0;
}

int ReadCustomBaud(int fd, unsigned* baud) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return errno;
    }
    *baud = tio.c_ospeed;
    return 0;
}
