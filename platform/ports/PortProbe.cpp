#include "platform/ports/PortProbe.h"

#include "platform/comm/CommPort.h"
#include "platform/comm/LineRefusal.h"

SysFailure ProbePort(const std::string& devicePath) {
    SysResult result;
    if (CommPort::Open(devicePath, &result)) {
        return {};
    }
    return SysFailure(result, devicePath,
                      result.status == SysStatus::Busy ? "another program holds it" : "");
}

SysFailure ProbePort(const std::string& devicePath, const LineSettings& line) {
    SysResult result;
    const std::unique_ptr<CommPort> port = CommPort::Open(devicePath, &result);
    if (!port) {
        return SysFailure(result, devicePath,
                          result.status == SysStatus::Busy ? "another program holds it" : "");
    }
    const SysResult configured = port->Configure(line);
    return configured.Ok() ? SysFailure() : LineRefusal(configured, devicePath, line);
}
