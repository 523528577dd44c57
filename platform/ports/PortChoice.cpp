#include "platform/ports/PortChoice.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/ports/PortMap.h"

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// The path with links resolved, so /dev/serial/by-id/... matches its ttyUSBn.
std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

Result<PortChoice> ChoosePort(const std::string& portArgument, int preferred) {
    PortChoice choice;
    if (const auto number = PortNumberForName(portArgument)) {
        if (*number < kFirstPortNumber || *number > kLastPortNumber) {
            return Refusal("", "port " + portArgument + " is outside COM1..COM50");
        }
        choice.number = *number;
        choice.devicePath = DevicePathForNumber(*number).value_or("");
        return choice;
    }
    if (portArgument.find('/') == std::string::npos) {
        return Refusal("", "'" + portArgument + "' is neither COM1..COM50 nor a device path");
    }
    choice.byPath = true;
    const std::string wanted = Canonical(portArgument);
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        const auto path = DevicePathForNumber(n);
        // The table's own path stands for its number even while nothing is plugged in.
        if (path && (*path == portArgument || (Exists(*path) && Canonical(*path) == wanted))) {
            choice.number = n;
            choice.devicePath = *path;
            return choice;
        }
    }
    std::vector<int> order;
    if (preferred >= kFirstPortNumber && preferred <= kLastPortNumber) {
        order.push_back(preferred);
    }
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        order.push_back(n);
    }
    for (const int n : order) {
        const auto path = DevicePathForNumber(n);
        if (!path || !Exists(*path)) {
            SetPortOverride(n, portArgument);
            choice.number = n;
            choice.devicePath = portArgument;
            choice.assigned = true;
            return choice;
        }
    }
    return Refusal("", "every number COM1..COM50 names a present device; use one of them");
}

std::string ResolvedDevicePath(const std::string& path) {
    return Canonical(path);
}

std::string PortDevice(const std::string& port) {
    if (const std::optional<int> number = PortNumberForName(port)) {
        if (const std::optional<std::string> path = DevicePathForNumber(*number)) {
            return Canonical(*path);
        }
        return "COM" + std::to_string(*number);  // outside the map: the name is all there is
    }
    return Canonical(port);
}
