#pragma once

// What a port number stands for on this machine, in words for the operator: the device path from
// the port map and what kind of device that is ("COM1: /dev/ttyUSB0, the first USB serial
// adapter (not connected)").
//
// Threading rules: any thread (the port map's own rules).

#include <string>

std::string PortDescription(int number);
