#pragma once

#include <cstdio>

// `stavel --list-ports`: each COM number with its device, whether it is present, and for USB
// adapters the vendor, product and serial number.
void PrintPortList(std::FILE* out);
