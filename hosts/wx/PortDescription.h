#pragma once

// What a port number stands for on this machine, in words for the operator: the device path from
// the port map and what kind of device that is ("COM1: /dev/ttyUSB0, the first USB serial
// adapter (not connected)").
//
// Threading rules: any thread (the port map's own rules).

#include <string>
#include <vector>

std::string PortDescription(int number);

// The entries of the port list as the drop-down shows them: the model's entry text ("COM7") and,
// for a number with a device behind it now, that device and the adapter where sysfs names it
// ("COM7 (ttyUSB0, FT232R USB UART)"). Numbers are looked up from the entries' own text.
std::vector<std::string> PortEntryLabels(const std::vector<std::string>& entries);
