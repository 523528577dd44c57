#pragma once

// Whether a serial device could be opened for a download now: it exists, it opens, and no other
// program holds it (the lock the tool itself takes). Used by --loop while it waits for a port
// that went away or was taken between two boxes, so that a retry does not log a failed start
// every second. The device is opened and closed again, as a reconnection would.

#include <string>

#include "platform/base/SysResult.h"

// Nothing failed when the device can be opened; otherwise the system's reason (Busy when
// another program holds it).
SysFailure ProbePort(const std::string& devicePath);
