#include "platform/ports/PortMap.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>

namespace {

struct Overrides {
    std::mutex mutex;
    std::map<int, std::string> paths;
};

Overrides& TheOverrides() {
    static Overrides overrides;
    return overrides;
}

std::optional<std::string> RunTimeOverride(int number) {
    Overrides& o = TheOverrides();
    std::lock_guard lock(o.mutex);
    auto it = o.paths.find(number);
    if (it == o.paths.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> EnvironmentOverride(int number) {
    const std::string variable = "STAVEL_COM" + std::to_string(number);
    const char* value = std::getenv(variable.c_str());
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

struct Block {
    int first;
    int count;
    const char* prefix;
};

// Adapters first: on a Linux bench the box hangs off a USB serial cable far more often than
// off an on-board UART. Each block has room for the devices one machine plausibly has.
constexpr Block kBlocks[] = {
    {1, 16, "/dev/ttyUSB"},
    {17, 16, "/dev/ttyACM"},
    {33, 16, "/dev/ttyS"},
    {49, 2, "/dev/ttyAMA"},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> FixedDevicePath(int number) {
    for (const Block& b : kBlocks) {
        if (number >= b.first && number < b.first + b.count) {
            return b.prefix + std::to_string(number - b.first);
        }
    }
    return std::nullopt;
}

std::optional<std::string> DevicePathForNumber(int number) {
    if (number < kFirstPortNumber) {
        return std::nullopt;
    }
    if (auto path = RunTimeOverride(number)) {
        return path;
    }
    if (auto path = EnvironmentOverride(number)) {
        return path;
    }
    return FixedDevicePath(number);
}

std::optional<int> PortNumberForName(const std::string& name) {
    std::string_view rest = name;
    constexpr std::string_view kDeviceNamespace = "\\\\.\\";
    if (rest.starts_with(kDeviceNamespace)) {
        rest.remove_prefix(kDeviceNamespace.size());
    }
    if (rest.size() < 4 || !EqualsIgnoringCase(rest.substr(0, 3), "COM")) {
        return std::nullopt;
    }
    rest.remove_prefix(3);
    long long number = 0;
    for (char c : rest) {
        if (!std::isdigit(static_cast<unsigned char>(c)) || number > 1'000'000) {
            return std::nullopt;
        }
        number = number * 10 + (c - '0');
    }
    if (number < kFirstPortNumber) {
        return std::nullopt;
    }
    return static_cast<int>(number);
}

std::optional<std::string> DevicePathForPortName(const std::string& name) {
    if (name.starts_with('/')) {
        return name;
    }
    if (std::optional<int> number = PortNumberForName(name)) {
        return DevicePathForNumber(*number);
    }
    return std::nullopt;
}

void SetPortOverride(int number, std::string devicePath) {
    Overrides& o = TheOverrides();
    std::lock_guard lock(o.mutex);
    o.paths[number] = std::move(devicePath);
}

void ClearPortOverride(int number) {
    Overrides& o = TheOverrides();
    std::lock_guard lock(o.mutex);
    o.paths.erase(number);
}

void ClearPortOverrides() {
    Overrides& o = TheOverrides();
    std::lock_guard lock(o.mutex);
    o.paths.clear();
}

std::vector<int> PortOverrideNumbers() {
    Overrides& o = TheOverrides();
    std::lock_guard lock(o.mutex);
    std::vector<int> numbers;
    for (const auto& [number, path] : o.paths) {
        numbers.push_back(number);
    }
    return numbers;
}
