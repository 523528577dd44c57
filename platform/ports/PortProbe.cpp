#include "platform/ports/PortProbe.h"

#include "platform/comm/CommPort.h"

SysFailure ProbePort(const std::string& devicePath) {
    SysResult result;
    if (CommPort::Open(devicePath, &result)) {
        return {};
    }
    return SysFailure(result, devicePath,
                      result.status == SysStatus::Busy ? "another program holds it" : "");
}
