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

fs::path CanonicalDevice(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(path, ec);
    return ec ? fs::path(path) : resolved;
}

struct StableLink {
    std::string name;  // the link's own path, for the operator to use
    fs::path target;   // the device it stands for
};

// Every link under by-id and by-path, sorted, with the device it resolves to.
std::vector<StableLink> StableLinks(const std::string& root) {
    std::vector<StableLink> links;
    for (const char* kind : {"by-id", "by-path"}) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(fs::path(root) / kind, ec)) {
            if (entry.is_symlink(ec) && IsCharacterDevice(entry.path().string())) {
                links.push_back({entry.path().string(), CanonicalDevice(entry.path().string())});
            }
        }
    }
    std::sort(links.begin(), links.end(),
              [](const StableLink& a, const StableLink& b) { return a.name < b.name; });
    return links;
}

PortInfo Describe(int number, const std::string& path, bool present,
                  const std::vector<StableLink>& links, const PortRoots& roots) {
    PortInfo info;
    info.number = number;
    info.devicePath = path;
    info.present = present;
    if (present) {
        info.isUsb = ReadUsbIdentity(path, roots.sys, &info.usb);
        const fs::path device = CanonicalDevice(path);
        for (const StableLink& link : links) {
            if (link.target == device) {
                info.stableNames.push_back(link.name);
            }
        }
    }
    return info;
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

std::vector<PortInfo> ListPorts(PortSelection selection, const PortRoots& roots) {
    const std::vector<StableLink> links = StableLinks(roots.serialLinks);
    std::vector<PortInfo> ports;
    std::vector<fs::path> listed;
    for (int n : NumbersToList()) {
        std::optional<std::string> path = DevicePathForNumber(n);
        if (!path) {
            continue;
        }
        const bool present = IsCharacterDevice(*path);
        if (present || selection == PortSelection::WholeTable) {
            ports.push_back(Describe(n, *path, present, links, roots));
            listed.push_back(CanonicalDevice(*path));
        }
    }
    if (selection == PortSelection::Present) {
        // Adapters the COM table does not reach (an unusual driver's tty name): the stable
        // links still find them, and a device path can name them.
        for (const StableLink& link : links) {
            if (std::find(listed.begin(), listed.end(), link.target) == listed.end()) {
                ports.push_back(Describe(0, link.target.string(), true, links, roots));
                listed.push_back(link.target);
            }
        }
    }
    return ports;
}
