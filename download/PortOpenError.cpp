#include "download/PortOpenError.h"

#include <cstring>
#include <memory>

#include "platform/comm/CommPort.h"
#include "platform/ports/PortMap.h"

namespace {

std::string Describe(const CommResult& result, const std::string& device) {
    std::string text = result.call[0] != '\0' ? std::string(result.call) + " " + device : device;
    text += ": ";
    text += result.sysErrno != 0 ? std::strerror(result.sysErrno) : CommStatusName(result.status);
    // What the operator can do about the two usual causes.
    if (result.status == CommStatus::Busy) {
        text += " (another program holds the port)";
    } else if (result.status == CommStatus::NoAccess) {
        text += " (the user needs the dialout group)";
    }
    return text;
}

}  // namespace

std::string PortOpenError(const std::string& portName) {
    const auto device = DevicePathForPortName(portName);
    if (!device) {
        return "no device stands for " + portName;
    }
    CommResult result;
    std::unique_ptr<CommPort> port = CommPort::Open(*device, &result);
    if (!port) {
        return Describe(result, *device);
    }
    const CommResult configured = port->Configure(LineSettings{});
    if (!configured.Ok()) {
        return Describe(configured, *device);
    }
    return *device + ": opened on a second try (a passing fault, or the port was busy a moment)";
}
