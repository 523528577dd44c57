#include "platform/comm/CommResult.h"

const char* CommStatusName(CommStatus status) {
    switch (status) {
        case CommStatus::Ok:
            return "ok";
        case CommStatus::InvalidSettings:
            return "invalid line settings";
        case CommStatus::NotFound:
            return "no such device";
        case CommStatus::Busy:
            return "port in use";
        case CommStatus::NoAccess:
            return "permission denied";
        case CommStatus::NotATty:
            return "not a serial device";
        case CommStatus::Rejected:
            return "settings rejected by the driver";
        case CommStatus::Lost:
            return "device lost";
        case CommStatus::Stalled:
            return "the device stopped taking data";
        case CommStatus::Failed:
            return "system call failed";
        case CommStatus::Cancelled:
            return "cancelled";
        case CommStatus::TimedOut:
            return "timed out";
    }
    return "unknown";
}
