#pragma once

// A port that opened but would not take the line's settings, described for the operator. A rate
// the driver refuses is named beside the system's reason, so that whoever asked for --baud (or a
// job's `baud`) sees which setting it was: "/dev/ttyUSB0: the port does not take 3000000 baud
// (tcsetattr: Invalid argument)".

#include <string>

#include "platform/base/SysResult.h"
#include "platform/comm/LineSettings.h"

SysFailure LineRefusal(const SysResult& result, const std::string& device,
                       const LineSettings& settings);
