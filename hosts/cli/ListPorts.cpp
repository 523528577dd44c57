#include "hosts/cli/ListPorts.h"

#include <cstdio>

#include "platform/codepage/ShownText.h"

namespace {

std::string NumberColumn(const PortInfo& port) {
    return port.number > 0 ? "COM" + std::to_string(port.number) : "-";
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.resize(width, ' ');
    }
    return text;
}

std::string Identity(const PortInfo& port, PortSelection selection) {
    if (!port.present) {
        return "absent";
    }
    if (port.isUsb) {
        const UsbIdentity& usb = port.usb;
        return "USB " + EscapeName(usb.vendorId) + ":" + EscapeName(usb.productId) + " " +
               EscapeName(usb.manufacturer) + " " + EscapeName(usb.product) + ", serial " +
               (usb.serialNumber.empty() ? "-" : EscapeName(usb.serialNumber));
    }
    return selection == PortSelection::WholeTable ? "present" : "";
}

}  // namespace

std::string PortListText(const std::vector<PortInfo>& ports, PortSelection selection) {
    if (ports.empty()) {
        return "No serial port is present. Plug in the adapter; `stavel --list-ports --all` "
               "shows the whole COM table.\n";
    }
    std::string text;
    for (const PortInfo& port : ports) {
        const std::string what = Identity(port, selection);
        const std::string device = EscapeName(port.devicePath);
        text += Padded(NumberColumn(port), 6) + " " +
                (what.empty() ? device : Padded(device, 16) + " " + what) + "\n";
        for (const std::string& name : port.stableNames) {
            text += Padded("", 6) + " " + EscapeName(name) + "\n";
        }
    }
    return text;
}
