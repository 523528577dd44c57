#include "platform/ports/PortInfo.h"

#include <filesystem>

std::optional<std::string> AdapterOf(const std::string& devicePath) {
    UsbIdentity usb;
    if (!ReadUsbIdentity(devicePath, "/sys", &usb) || usb.vendorId.empty()) {
        return std::nullopt;
    }
    std::string adapter = usb.vendorId + ":" + usb.productId;
    if (!usb.serialNumber.empty()) {
        adapter += " " + usb.serialNumber;
    }
    return adapter;
}

StableNames StableNamesOf(const std::string& devicePath, const PortRoots& roots) {
    StableNames names;
    std::error_code ec;
    const std::filesystem::path device = std::filesystem::weakly_canonical(devicePath, ec);
    for (const PortInfo& port : ListPorts(PortSelection::Present, roots)) {
        if (std::filesystem::weakly_canonical(port.devicePath, ec) != device) {
            continue;
        }
        for (const std::string& name : port.stableNames) {
            auto& slot = name.find("/by-path/") != std::string::npos ? names.byPath : names.byId;
            if (!slot) {
                slot = name;
            }
        }
        if (port.isUsb && !port.usb.serialNumber.empty()) {
            names.adapterSerial = port.usb.serialNumber;
        }
        break;
    }
    return names;
}
