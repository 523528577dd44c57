#include "hosts/cli/ListPorts.h"

#include <string>

namespace {

std::string NumberColumn(const PortInfo& port) {
    return port.number > 0 ? "COM" + std::to_string(port.number) : "-";
}

}  // namespace

void PrintPortList(std::FILE* out, const std::vector<PortInfo>& ports, PortSelection selection) {
    if (ports.empty()) {
        std::fprintf(out,
                     "No serial port is present. Plug in the adapter; `stavel --list-ports --all` "
                     "shows the whole COM table.\n");
        return;
    }
    for (const PortInfo& port : ports) {
        std::string what;
        if (!port.present) {
            what = "absent";
        } else if (port.isUsb) {
            const UsbIdentity& usb = port.usb;
            what = "USB " + usb.vendorId + ":" + usb.productId + " " + usb.manufacturer + " " +
                   usb.product + ", serial " + (usb.serialNumber.empty() ? "-" : usb.serialNumber);
        } else if (selection == PortSelection::WholeTable) {
            what = "present";
        }
        if (what.empty()) {
            std::fprintf(out, "%-6s %s\n", NumberColumn(port).c_str(), port.devicePath.c_str());
        } else {
            std::fprintf(out, "%-6s %-16s %s\n", NumberColumn(port).c_str(),
                         port.devicePath.c_str(), what.c_str());
        }
        for (const std::string& name : port.stableNames) {
            std::fprintf(out, "%-6s %s\n", "", name.c_str());
        }
    }
}
