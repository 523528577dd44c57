#pragma once

// What the operator can do about a port that would not open or went away, in one sentence, from
// the system's reason: for a permission, the dialout group; for a busy port, which process holds
// it (where /proc/locks tells); for a missing device, the ports that are present.

#include <string>

#include "platform/base/SysResult.h"
#include "platform/ports/PortInfo.h"

std::string PortAdvice(const SysFailure& failure, const PortRoots& roots = {});

// "PID (command)" of the process holding an flock on `devicePath`, read from `locksFile`;
// "" when no holder is listed.
std::string PortHolder(const std::string& devicePath, const std::string& locksFile = "/proc/locks");
