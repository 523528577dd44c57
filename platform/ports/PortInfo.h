#pragma once

// What `stavel --list-ports` shows: every entry of the port map, whether its device exists now,
// and for USB adapters who made it, so the operator can tell two adapters apart.

#include <string>
#include <vector>

struct UsbIdentity {
    std::string vendorId;  // four hex digits, as sysfs writes them ("0403")
    std::string productId;
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

struct PortInfo {
    int number = 0;
    std::string devicePath;
    bool present = false;
    bool isUsb = false;
    UsbIdentity usb;
};

// COM1..COM50 and every overridden number above, in number order.
std::vector<PortInfo> ListPorts();

// The USB device behind a tty, found under `sysRoot`/class/tty/<name>/device and its parents;
// false when the tty is not on USB (a UART, a pty) or sysfs does not say.
bool ReadUsbIdentity(const std::string& devicePath, const std::string& sysRoot, UsbIdentity* out);
