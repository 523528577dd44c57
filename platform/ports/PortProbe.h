#pragma once

// Whether a serial device could be opened for a download now: it exists, it is a serial line
// (not a file, not /dev/null, not a pseudo-terminal's master side), it opens, and no other
// program holds it. The device is opened exactly as the download opens it (CommPort::Open) and
// closed again, so the answer is the one a start would get. Used by --loop while it waits for a
// port that went away or was taken between two boxes, so that a retry does not log a failed
// start every second, and by a job's --check.

#include <string>

#include "platform/base/SysResult.h"
#include "platform/comm/LineSettings.h"

// Nothing failed when the device can be opened; otherwise the system's reason (Busy when
// another program holds it, NotATty when it is no serial line).
SysFailure ProbePort(const std::string& devicePath);
// The same, and the port takes `line` (its rate above all), as a START would set it.
SysFailure ProbePort(const std::string& devicePath, const LineSettings& line);
