#include "hosts/wx/PortDescription.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <string_view>

#include "platform/ports/PortInfo.h"
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

// "/dev/ttyUSB3" -> ("USB", 3); false for anything else.
bool SplitDevice(const std::string& path, std::string& family, int& index) {
    constexpr std::string_view kPrefix = "/dev/tty";
    if (path.compare(0, kPrefix.size(), kPrefix) != 0) {
        return false;
    }
    const std::string rest = path.substr(kPrefix.size());
    std::size_t digits = rest.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(rest[digits - 1]))) {
        --digits;
    }
    family = rest.substr(0, digits);
    if (digits == rest.size() || rest.size() - digits > 6 ||
        (family != "USB" && family != "ACM" && family != "S" && family != "AMA")) {
        return false;
    }
    index = std::atoi(rest.c_str() + digits);
    return true;
}

std::string Kind(const std::string& path) {
    std::string family;
    int index = 0;
    if (!SplitDevice(path, family, index)) {
        return {};
    }
    const int n = index + 1;
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

std::vector<std::string> PortEntryLabels(const std::vector<std::string>& entries) {
    std::map<int, std::string> present;
    for (const PortInfo& port : ListPorts(PortSelection::WholeTable)) {
        if (!port.present || port.number <= 0) {
            continue;
        }
        std::string device = port.devicePath;
        if (device.rfind("/dev/", 0) == 0) {
            device.erase(0, 5);
        }
        const std::string& adapter =
            !port.usb.product.empty() ? port.usb.product : port.usb.manufacturer;
        present[port.number] = device + (port.isUsb && !adapter.empty() ? ", " + adapter : "");
    }
    std::vector<std::string> labels;
    for (const std::string& entry : entries) {
        std::string label = entry;
        if (entry.rfind("COM", 0) == 0) {
            const auto it = present.find(std::atoi(entry.c_str() + 3));
            if (it != present.end()) {
                label += " (" + it->second + ")";
            }
        }
        labels.push_back(label);
    }
    return labels;
}
