#pragma once

// `stavel --list-ports`: the serial ports present, each with its COM number, its stable names
// (/dev/serial/by-id, /dev/serial/by-path) and for USB adapters the maker and serial number;
// with --all, the whole COM table, present or not. Names from the system are escaped, so a
// strange one cannot drive the terminal.

#include <string>
#include <vector>

#include "platform/ports/PortInfo.h"

std::string PortListText(const std::vector<PortInfo>& ports, PortSelection selection);
