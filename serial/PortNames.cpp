// The conversions between the port numbers the operator picks and the names the link opens.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "serial/SerialLink.h"

std::string CSerialLink::PortNameFromNumber(int n) {
    if (n >= 1 && n <= 4) {
        return "COM" + std::to_string(n);
    }
    return "\\\\.\\COM" + std::to_string(n);
}

int CSerialLink::PortNumberFromName(std::string name) {
    for (int n = 1; n <= 4; ++n) {
        if (name == "COM" + std::to_string(n)) {
            return n;
        }
    }
    const std::size_t at = name.find("COM");
    if (at == std::string::npos || at == 0) {
        return 0;
    }
    // atoi's reading (white space, sign, digits up to the first other character), but clamped
    // where atoi would overflow.
    const long value = std::strtol(name.c_str() + at + 3, nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}
