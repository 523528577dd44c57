#include "platform/comm/ModemLine.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <mutex>

#include "platform/base/Sys.h"

namespace {

std::mutex g_lock;
std::optional<HeldLine> g_held;
int g_openFd = -1;

}  // namespace

SysResult SetModemLine(int fd, ModemLine line, bool asserted) {
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (Sys().ioctlInt(fd, asserted ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return SysResult::FromErrno(asserted ? "ioctl(TIOCMBIS)" : "ioctl(TIOCMBIC)", errno);
    }
    return {};
}

SysResult HoldModemLine(std::optional<HeldLine> held) {
    std::lock_guard lock(g_lock);
    g_held = held;
    if (!g_held || g_openFd < 0) {
        return {};
    }
    return SetModemLine(g_openFd, g_held->line, g_held->asserted);
}

SysResult ModemLinePortOpened(int fd) {
    std::lock_guard lock(g_lock);
    g_openFd = fd;
    if (!g_held) {
        return {};
    }
    return SetModemLine(fd, g_held->line, g_held->asserted);
}

void ModemLinePortClosing(int fd) {
    std::lock_guard lock(g_lock);
    if (g_openFd == fd) {
        g_openFd = -1;
    }
}
