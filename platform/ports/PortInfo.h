#pragma once

// What `stavel --list-ports` shows: the serial ports present now, each with the names that stay
// the same when adapters are plugged in another order (/dev/serial/by-id/... names the adapter
// by its serial number, /dev/serial/by-path/... the hub socket), and for USB adapters who made
// them, so the operator can tell two adapters apart. With everything, the whole COM table.

#include <optional>
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
    int number = 0;  // 0: present, but no COM number stands for it
    std::string devicePath;
    bool present = false;
    bool isUsb = false;
    UsbIdentity usb;
    std::vector<std::string> stableNames;  // by-id and by-path links to the device
};

// Where the system describes its devices; tests point these at a tree of their own.
struct PortRoots {
    std::string sys = "/sys";
    std::string serialLinks = "/dev/serial";
};

enum class PortSelection { Present, WholeTable };

// Present: the ports whose device exists, COM-numbered ones first, then those only the stable
// links name. WholeTable: COM1..COM50 and every overridden number above, in number order.
std::vector<PortInfo> ListPorts(PortSelection selection, const PortRoots& roots = {});

// The USB device behind a tty, found under `sysRoot`/class/tty/<name>/device and its parents;
// false when the tty is not on USB (a UART, a pty) or sysfs does not say.
bool ReadUsbIdentity(const std::string& devicePath, const std::string& sysRoot, UsbIdentity* out);

// The names that stay the same for `devicePath` (its /dev/serial/by-path/... and by-id/...
// links, the first of each) and its USB adapter's serial number, where it has them.
struct StableNames {
    std::optional<std::string> byPath;
    std::optional<std::string> byId;
    std::optional<std::string> adapterSerial;
};
StableNames StableNamesOf(const std::string& devicePath, const PortRoots& roots = {});

// The USB adapter behind `devicePath` as "vvvv:pppp serial", from sysfs; nothing off USB.
std::optional<std::string> AdapterOf(const std::string& devicePath);
