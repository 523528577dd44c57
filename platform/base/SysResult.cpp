#include "platform/base/SysResult.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

SysResult SysResult::FromErrno(const char* call, int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return {SysStatus::NotFound, call, err};
        case EBUSY:
        case EWOULDBLOCK:
            return {SysStatus::Busy, call, err};
        case EACCES:
        case EPERM:
        case EROFS:
            return {SysStatus::NoAccess, call, err};
        case ENOTTY:
            return {SysStatus::NotATty, call, err};
        case ENOSPC:
        case EDQUOT:
            return {SysStatus::NoSpace, call, err};
        default:
            return {SysStatus::Failed, call, err};
    }
}

const char* SysStatusName(SysStatus status) {
    switch (status) {
        case SysStatus::Ok:
            return "ok";
        case SysStatus::InvalidSettings:
            return "invalid line settings";
        case SysStatus::NotFound:
            return "no such device";
        case SysStatus::Busy:
            return "port in use";
        case SysStatus::NoAccess:
            return "permission denied";
        case SysStatus::NotATty:
            return "not a serial device";
        case SysStatus::Rejected:
            return "settings rejected by the driver";
        case SysStatus::Lost:
            return "device lost";
        case SysStatus::NoSpace:
            return "no space left on the device";
        case SysStatus::Stalled:
            return "the device stopped taking data";
        case SysStatus::Failed:
            return "system call failed";
        case SysStatus::Cancelled:
            return "cancelled";
        case SysStatus::TimedOut:
            return "timed out";
    }
    return "unknown";
}

namespace {

constexpr std::array<std::pair<SysStatus, const char*>, 13> kStatusCodes{{
    {SysStatus::Ok, "ok"},
    {SysStatus::InvalidSettings, "invalid-settings"},
    {SysStatus::NotFound, "not-found"},
    {SysStatus::Busy, "busy"},
    {SysStatus::NoAccess, "no-access"},
    {SysStatus::NotATty, "not-a-tty"},
    {SysStatus::Rejected, "rejected"},
    {SysStatus::Lost, "lost"},
    {SysStatus::NoSpace, "no-space"},
    {SysStatus::Stalled, "stalled"},
    {SysStatus::Failed, "failed"},
    {SysStatus::Cancelled, "cancelled"},
    {SysStatus::TimedOut, "timed-out"},
}};

}  // namespace

const char* SysStatusCode(SysStatus status) {
    for (const auto& [s, code] : kStatusCodes) {
        if (s == status) {
            return code;
        }
    }
    return "failed";
}

std::optional<SysStatus> SysStatusFromCode(std::string_view code) {
    for (const auto& [status, word] : kStatusCodes) {
        if (code == word) {
            return status;
        }
    }
    return std::nullopt;
}

std::string DescribeErrno(const char* call, const std::string& subject, int err) {
    return SysFailure{SysResult::FromErrno(call, err), subject}.Describe();
}

std::string SysFailure::Describe() const {
    if (!Failed()) {
        return "";
    }
    std::string text = subject.empty() ? "" : subject + ": ";
    if (!reason.empty()) {
        return text + reason;
    }
    if (result.sysErrno != 0) {
        if (result.call != nullptr && *result.call != '\0') {
            text += std::string(result.call) + ": ";
        }
        return text + std::strerror(result.sysErrno);
    }
    return text + SysStatusName(result.status);
}
