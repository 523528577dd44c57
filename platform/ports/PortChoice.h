#pragma once

// Which COM number the command line's --port stands for. A port name ("COM7", "\\.\COM12",
// any letter case) is its number. A device path is the number the port map gives it; a path
// outside the map is given a number whose own device is absent, through a run-time override,
// so that the dialog selects it like any other entry.

#include <string>

#include "platform/base/Result.h"

struct PortChoice {
    int number = 0;
    std::string devicePath;  // what the number stands for now
    bool assigned = false;   // the number was given to a path outside the map
    bool byPath = false;     // the argument was a device path, not a port name
};

// `preferred` (a station's slot): the number a path outside the map is given when its own
// device is absent, so that each slot's log names a port of its own; 0 for the first free one.
Result<PortChoice> ChoosePort(const std::string& portArgument, int preferred = 0);

// The device a path stands for, links resolved (/dev/serial/by-id/... gives its ttyUSBn); the
// path itself when it cannot be resolved.
std::string ResolvedDevicePath(const std::string& path);

// The device a port as given stands for: a port name ("COM7", "\\.\COM7", any case) through the
// port map (STAVEL_COM7 included), a path as it is, then links resolved. Two ports are one
// device when these agree.
std::string PortDevice(const std::string& port);
