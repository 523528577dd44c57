#pragma once

// `stavel --list-ports`: the serial ports present, each with its COM number, its stable names
// (/dev/serial/by-id, /dev/serial/by-path) and for USB adapters the maker and serial number;
// with --all, the whole COM table, present or not.

#include <cstdio>
#include <vector>

#include "platform/ports/PortInfo.h"

void PrintPortList(std::FILE* out, const std::vector<PortInfo>& ports, PortSelection selection);
