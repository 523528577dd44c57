#include "hosts/wx/PortDescription.h"

#include <unistd.h>

#include <cstdlib>
#include <regex>

#include "platform/ports/PortMap.h"

namespace {

std::string Ordinal(int n) {
    static const char* const kWords[] = {"first", "second",  "third",  "fourth", "fifth",
                                         "sixth", "seventh", "eighth", "ninth",  "tenth"};
    if (n >= 1 && n <= 10) {
        return kWords[n - 1];
    }
    return "number " + std::to_string(n);
}

std::string Kind(const std::string& path) {
    static const std::regex kDevice("^/dev/tty(USB|ACM|S|AMA)([0-9]+)$");
    std::smatch match;
    if (!std::regex_match(path, match, kDevice)) {
        return {};
    }
    const int n = std::stoi(match[2].str()) + 1;
    const std::string family = match[1].str();
    if (family == "USB") {
        return ", the " + Ordinal(n) + " USB serial adapter";
    }
    if (family == "ACM") {
        return ", the " + Ordinal(n) + " USB modem-class (CDC ACM) device";
    }
    if (family == "S") {
        return ", the " + Ordinal(n) + " built-in serial port";
    }
    return ", the " + Ordinal(n) + " on-board UART";
}

}  // namespace

std::string PortDescription(int number) {
    const std::string name = "COM" + std::to_string(number);
    const std::optional<std::string> path = DevicePathForNumber(number);
    if (!path) {
        return name + ": no device";
    }
    std::string text = name + ": " + *path;
    const std::optional<std::string> fixed = FixedDevicePath(number);
    if (fixed && *fixed == *path) {
        text += Kind(*path);
    } else {
        text += " (set for this run)";
    }
    text += access(path->c_str(), F_OK) == 0 ? "" : " (not connected)";
    return text;
}
