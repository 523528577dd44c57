#include "hosts/cli/ListPorts.h"

#include "platform/codepage/ShownText.h"
#include "platform/ports/PortInfo.h"

void PrintPortList(std::FILE* out) {
    for (const PortInfo& port : ListPorts()) {
        std::fprintf(out, "COM%-3d %-16s %s", port.number, EscapeName(port.devicePath).c_str(),
                     port.present ? "present" : "absent");
        if (port.isUsb) {
            const UsbIdentity& usb = port.usb;
            std::fprintf(out, "  USB %s:%s %s %s serial %s", usb.vendorId.c_str(),
                         usb.productId.c_str(), EscapeName(usb.manufacturer).c_str(),
                         EscapeName(usb.product).c_str(),
                         usb.serialNumber.empty() ? "-" : EscapeName(usb.serialNumber).c_str());
        }
        std::fputc('\n', out);
    }
}
