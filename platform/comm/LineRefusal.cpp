#include "platform/comm/LineRefusal.h"

#include <cstring>

SysFailure LineRefusal(const SysResult& result, const std::string& device,
                       const LineSettings& settings) {
    if (result.status != SysStatus::Rejected) {
        return SysFailure(result, device);
    }
    std::string why = SysStatusName(result.status);
    if (result.sysErrno != 0) {
        const std::string call = result.call != nullptr ? result.call : "";
        why = (call.empty() ? "" : call + ": ") + std::strerror(result.sysErrno);
    }
    return SysFailure(
        result, device,
        "the port does not take " + std::to_string(settings.baud) + " baud (" + why + ")");
}
