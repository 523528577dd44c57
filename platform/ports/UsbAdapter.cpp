#include "platform/ports/PortInfo.h"

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
