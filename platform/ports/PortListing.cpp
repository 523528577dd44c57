#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/ports/PortInfo.h"
#include "platform/ports/PortMap.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// STAVEL_COMn variables for numbers beyond the fixed table, so an override shows in the list.
std::vector<int> EnvironmentNumbers() {
    std::vector<int> numbers;
    const std::string prefix = "STAVEL_COM";
    const std::size_t nameStart = prefix.size() - 3;  // "COMn" after "STAVEL_"
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::size_t eq = entry.find('=');
        if (!entry.starts_with(prefix) || eq == std::string::npos) {
            continue;
        }
        if (std::optional<int> n = PortNumberForName(entry.substr(nameStart, eq - nameStart))) {
            numbers.push_back(*n);
        }
    }
    return numbers;
}

std::vector<int> NumbersToList() {
    std::vector<int> numbers;
    for (int n = kFirstPortNumber; n <= kLastPortNumber; ++n) {
        numbers.push_back(n);
    }
    for (int n : PortOverrideNumbers()) {
        numbers.push_back(n);
    }
    for (int n : EnvironmentNumbers()) {
        numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

}  // namespace

bool ReadUsbIdentity(const std::string& devicePath, const std::string& sysRoot, UsbIdentity* out) {
    std::error_code ec;
    // /dev/serial/by-id/... links name the tty only through the link's target.
    const fs::path device = fs::weakly_canonical(devicePath, ec);
    const fs::path link = fs::path(sysRoot) / "class" / "tty" / device.filename() / "device";
    fs::path dir = fs::canonical(link, ec);
    if (ec) {
        return false;
    }
    // ttyUSB sits below the interface, ttyACM is the interface: the USB device with idVendor is
    // one or two levels up.
    for (int level = 0; level < 4 && !dir.empty(); ++level, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            out->vendorId = ReadLine(dir / "idVendor");
            out->productId = ReadLine(dir / "idProduct");
            out->manufacturer = ReadLine(dir / "manufacturer");
            out->product = ReadLine(dir / "product");
            out->serialNumber = ReadLine(dir / "serial");
            return true;
        }
    }
    return false;
}

std::vector<PortInfo> ListPorts() {
    std::vector<PortInfo> ports;
    for (int n : NumbersToList()) {
        std::optional<std::string> path = DevicePathForNumber(n);
        if (!path) {
            continue;
        }
        PortInfo info;
        info.number = n;
        info.devicePath = *path;
        info.present = IsCharacterDevice(*path);
        info.isUsb = info.present && ReadUsbIdentity(*path, "/sys", &info.usb);
        ports.push_back(std::move(info));
    }
    return ports;
}
