#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ports/PortInfo.h"
#include "platform/ports/PortMap.h"
#include "tests/support/pty/Pty.h"

namespace fs = std::filesystem;

namespace {

class PortMapTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearPortOverrides();
        unsetenv("STAVEL_COM7");
        unsetenv("STAVEL_COM61");
    }
    void TearDown() override { SetUp(); }
};

TEST_F(PortMapTest, TheFixedTableHasAdaptersFirst) {
    EXPECT_EQ(DevicePathForNumber(1), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathForNumber(16), "/dev/ttyUSB15");
    EXPECT_EQ(DevicePathForNumber(17), "/dev/ttyACM0");
    EXPECT_EQ(DevicePathForNumber(32), "/dev/ttyACM15");
    EXPECT_EQ(DevicePathForNumber(33), "/dev/ttyS0");
    EXPECT_EQ(DevicePathForNumber(48), "/dev/ttyS15");
    EXPECT_EQ(DevicePathForNumber(49), "/dev/ttyAMA0");
    EXPECT_EQ(DevicePathForNumber(50), "/dev/ttyAMA1");
    EXPECT_EQ(DevicePathForNumber(51), std::nullopt);
    EXPECT_EQ(DevicePathForNumber(0), std::nullopt);
    EXPECT_EQ(DevicePathForNumber(-1), std::nullopt);
}

TEST_F(PortMapTest, PortNamesInEveryFormTheLinkIsGiven) {
    EXPECT_EQ(DevicePathForPortName("COM3"), "/dev/ttyUSB2");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM12"), "/dev/ttyUSB11");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM5"), "/dev/ttyUSB4");
    EXPECT_EQ(DevicePathForPortName("com7"), "/dev/ttyUSB6");
    EXPECT_EQ(DevicePathForPortName("/dev/pts/9"), "/dev/pts/9");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM0"), std::nullopt);
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COMx"), std::nullopt);
    EXPECT_EQ(DevicePathForPortName("COM3x"), std::nullopt);
    EXPECT_EQ(DevicePathForPortName("COM"), std::nullopt);
    EXPECT_EQ(DevicePathForPortName("LPT1"), std::nullopt);
    EXPECT_EQ(DevicePathForPortName(""), std::nullopt);
}

TEST_F(PortMapTest, OverridesComeFromTheRunTimeThenTheEnvironment) {
    setenv("STAVEL_COM7", "/dev/pts/3", 1);
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM7"), "/dev/pts/3");
    SetPortOverride(7, "/dev/pts/4");
    EXPECT_EQ(DevicePathForNumber(7), "/dev/pts/4");
    ClearPortOverride(7);
    EXPECT_EQ(DevicePathForNumber(7), "/dev/pts/3");
    setenv("STAVEL_COM7", "", 1);
    EXPECT_EQ(DevicePathForNumber(7), "/dev/ttyUSB6");
    // Numbers beyond the table exist only through an override.
    SetPortOverride(60, "/dev/pts/5");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM60"), "/dev/pts/5");
}

TEST_F(PortMapTest, TheListingShowsEveryEntryAndWhichArePresent) {
    Pty pty;
    SetPortOverride(60, pty.SlavePath());
    setenv("STAVEL_COM61", "/dev/nonexistent-tty", 1);
    const std::vector<PortInfo> ports = ListPorts();
    ASSERT_EQ(ports.size(), 52u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(ports[i].number, i + 1);
        EXPECT_EQ(ports[i].devicePath, FixedDevicePath(i + 1));
    }
    EXPECT_EQ(ports[50].number, 60);
    EXPECT_TRUE(ports[50].present);
    EXPECT_FALSE(ports[50].isUsb);
    EXPECT_EQ(ports[51].number, 61);
    EXPECT_FALSE(ports[51].present);
}

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
}

// A sysfs tree in a temporary folder, laid out as the kernel lays out a usb-serial adapter
// (tty below the interface) and a CDC-ACM device (tty is the interface).
TEST_F(PortMapTest, UsbAdaptersAreNamedFromSysfs) {
    const fs::path root = fs::temp_directory_path() / ("stavel-sysfs-" + std::to_string(getpid()));
    fs::remove_all(root);
    const fs::path usbDevice = root / "devices/pci0000:00/usb1/1-1";
    WriteFile(usbDevice / "idVendor", "0403");
    WriteFile(usbDevice / "idProduct", "6001");
    WriteFile(usbDevice / "manufacturer", "FTDI");
    WriteFile(usbDevice / "product", "FT232R USB UART");
    WriteFile(usbDevice / "serial", "A50285BI");
    fs::create_directories(usbDevice / "1-1:1.0/ttyUSB0");
    fs::create_directories(root / "class/tty/ttyUSB0");
    fs::create_directory_symlink(usbDevice / "1-1:1.0/ttyUSB0", root / "class/tty/ttyUSB0/device");
    const fs::path acmDevice = root / "devices/pci0000:00/usb1/1-2";
    WriteFile(acmDevice / "idVendor", "2341");
    WriteFile(acmDevice / "idProduct", "0043");
    fs::create_directories(acmDevice / "1-2:1.0");
    fs::create_directories(root / "class/tty/ttyACM0");
    fs::create_directory_symlink(acmDevice / "1-2:1.0", root / "class/tty/ttyACM0/device");
    fs::create_directories(root / "devices/platform/serial8250/tty/ttyS0");
    fs::create_directories(root / "class/tty/ttyS0");
    fs::create_directory_symlink(root / "devices/platform/serial8250/tty/ttyS0",
                                 root / "class/tty/ttyS0/device");

    UsbIdentity usb;
    ASSERT_TRUE(ReadUsbIdentity("/dev/ttyUSB0", root.string(), &usb));
    EXPECT_EQ(usb.vendorId, "0403");
    EXPECT_EQ(usb.productId, "6001");
    EXPECT_EQ(usb.manufacturer, "FTDI");
    EXPECT_EQ(usb.product, "FT232R USB UART");
    EXPECT_EQ(usb.serialNumber, "A50285BI");
    UsbIdentity acm;
    ASSERT_TRUE(ReadUsbIdentity("/dev/ttyACM0", root.string(), &acm));
    EXPECT_EQ(acm.vendorId, "2341");
    EXPECT_EQ(acm.serialNumber, "");
    UsbIdentity none;
    EXPECT_FALSE(ReadUsbIdentity("/dev/ttyS0", root.string(), &none));
    EXPECT_FALSE(ReadUsbIdentity("/dev/ttyUSB9", root.string(), &none));
    fs::remove_all(root);
}

}  // namespace
