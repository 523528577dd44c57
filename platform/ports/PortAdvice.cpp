#include "platform/ports/PortAdvice.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string CommandOf(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string command;
    std::getline(in, command);
    return command;
}

// The ports present, as the operator would type them.
std::string PresentPorts(const PortRoots& roots) {
    std::string list;
    for (const PortInfo& port : ListPorts(PortSelection::Present, roots)) {
        const std::string& name =
            port.stableNames.empty() ? port.devicePath : port.stableNames.front();
        list += (list.empty() ? "" : ", ") + name;
        if (port.number > 0) {
            list += " (COM" + std::to_string(port.number) + ")";
        }
    }
    return list;
}

}  // namespace

std::string PortHolder(const std::string& devicePath, const std::string& locksFile) {
    struct stat device {};
    if (stat(devicePath.c_str(), &device) != 0) {
        return "";
    }
    // Each line: "1: FLOCK  ADVISORY  WRITE 1234 00:05:87 0 EOF", the inode as
    // major:minor:number of the file system holding it.
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(device.st_dev),
                  minor(device.st_dev), static_cast<unsigned long>(device.st_ino));
    std::ifstream in(locksFile);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, kind, mode, access, inode;
        long pid = 0;
        if (fields >> id >> kind >> mode >> access >> pid >> inode && kind == "FLOCK" &&
            inode == wanted && pid > 0) {
            const std::string command = CommandOf(pid);
            return std::to_string(pid) + (command.empty() ? "" : " (" + command + ")");
        }
    }
    return "";
}

std::string PortAdvice(const SysFailure& failure, const PortRoots& roots) {
    switch (failure.result.status) {
        case SysStatus::NoAccess:
            return "Add your user to the dialout group (sudo usermod -aG dialout $USER) and log "
                   "in again.";
        case SysStatus::Busy: {
            const std::string holder = PortHolder(failure.subject);
            if (!holder.empty()) {
                return "The port is in use by process " + holder + "; close that program first.";
            }
            return "Another program holds the port; close it (a terminal program, or "
                   "ModemManager probing a new adapter) and try again.";
        }
        case SysStatus::NotFound: {
            const std::string present = PresentPorts(roots);
            if (present.empty()) {
                return "No serial port is present: check that the adapter is plugged in.";
            }
            return "Ports present: " + present + ".";
        }
        case SysStatus::NotATty:
            return "It is not a serial port; see stavel --list-ports.";
        case SysStatus::Lost:
            return "Check the cable and the adapter.";
        case SysStatus::Stalled:
            return "Check that the box is still running its loader.";
        default:
            return "";
    }
}
