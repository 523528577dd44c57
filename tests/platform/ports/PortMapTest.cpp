#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>
#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/ports/PortAdvice.h"
#include "platform/ports/PortInfo.h"
#include "platform/ports/PortMap.h"
#include "tests/support/files/TempDir.h"
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

TEST_F(PortMapTest, PortNamesInEveryFormTheLinkIsGiven) {
    EXPECT_EQ(DevicePathForPortName("COM3"), "/dev/ttyUSB2");
    EXPECT_EQ(DevicePathForPortName("\\\\.\\COM12"), "/dev/ttyUSB11");
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
    const std::vector<PortInfo> ports = ListPorts(PortSelection::WholeTable);
    ASSERT_EQ(ports.size(), 52u);
    EXPECT_EQ(ports[49].number, 50);
    EXPECT_EQ(ports[49].devicePath, FixedDevicePath(50));
    EXPECT_EQ(ports[50].number, 60);
    EXPECT_TRUE(ports[50].present);
    EXPECT_FALSE(ports[50].isUsb);
    EXPECT_EQ(ports[51].number, 61);
    EXPECT_FALSE(ports[51].present);
}

// A sysfs attribute: its folders made, its value on one line.
void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    WriteBytes(path, text + "\n");
}

// A /dev/serial tree and a sysfs tree of the test's own, over two real ptys: one reached through
// COM9 and a by-id link, one only through a by-path link. The listing finds both, with their
// stable names and the adapter's identity, and the advice for a missing port names them.
TEST_F(PortMapTest, PresentPortsAreListedWithTheirStableNamesAndOfferedWhenOneIsMissing) {
    Pty first;
    Pty second;
    const TempDir folder;
    const fs::path root = folder.Path();
    const fs::path usbDevice = root / "sys/devices/usb1/1-1";
    WriteFile(usbDevice / "idVendor", "0403");
    WriteFile(usbDevice / "idProduct", "6001");
    WriteFile(usbDevice / "manufacturer", "FTDI");
    WriteFile(usbDevice / "product", "FT232R USB UART");
    WriteFile(usbDevice / "serial", "A50285BI");
    fs::create_directories(usbDevice / "1-1:1.0/tty");
    const std::string firstName = fs::path(first.SlavePath()).filename();
    fs::create_directories(root / "sys/class/tty" / firstName);
    fs::create_directory_symlink(usbDevice / "1-1:1.0/tty",
                                 root / "sys/class/tty" / firstName / "device");
    const fs::path byId = root / "serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const fs::path byPath = root / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    fs::create_directories(byId.parent_path());
    fs::create_directories(byPath.parent_path());
    fs::create_symlink(first.SlavePath(), byId);
    fs::create_symlink(second.SlavePath(), byPath);
    SetPortOverride(9, first.SlavePath());
    const PortRoots roots{(root / "sys").string(), (root / "serial").string()};

    const std::vector<PortInfo> ports = ListPorts(PortSelection::Present, roots);
    const auto find = [&](const std::string& path) {
        return std::find_if(ports.begin(), ports.end(),
                            [&](const PortInfo& p) { return p.devicePath == path; });
    };
    const auto com9 = find(first.SlavePath());
    ASSERT_NE(com9, ports.end());
    EXPECT_EQ(com9->number, 9);
    EXPECT_TRUE(com9->isUsb);
    EXPECT_EQ(com9->usb.vendorId + ":" + com9->usb.productId + " " + com9->usb.manufacturer + " " +
                  com9->usb.product + ", " + com9->usb.serialNumber,
              "0403:6001 FTDI FT232R USB UART, A50285BI");
    EXPECT_EQ(com9->stableNames, std::vector<std::string>{byId.string()});
    const auto unnumbered = find(second.SlavePath());
    ASSERT_NE(unnumbered, ports.end());
    EXPECT_EQ(unnumbered->number, 0);
    EXPECT_EQ(unnumbered->stableNames, std::vector<std::string>{byPath.string()});
    for (const PortInfo& port : ports) {
        EXPECT_TRUE(port.present) << port.devicePath;
    }

    const std::string advice =
        PortAdvice(SysFailure{SysResult::FromErrno("open", ENOENT), "/dev/ttyUSB7"}, roots);
    EXPECT_NE(advice.find(byId.string() + " (COM9)"), std::string::npos) << advice;
    EXPECT_NE(advice.find(byPath.string()), std::string::npos) << advice;
}

TEST_F(PortMapTest, AdviceNamesTheDialoutGroupAndTheProcessHoldingABusyPort) {
    EXPECT_EQ(PortAdvice(SysFailure{SysResult::FromErrno("open", EACCES), "/dev/ttyUSB0"}),
              "Add your user to the dialout group (sudo usermod -aG dialout $USER) and log in "
              "again.");
    Pty pty;
    const int held = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const std::string holder = PortHolder(pty.SlavePath());
    EXPECT_TRUE(holder.starts_with(std::to_string(getpid()) + " (")) << holder;
    const std::string advice =
        PortAdvice(SysFailure{SysResult::FromErrno("flock", EWOULDBLOCK), pty.SlavePath()});
    EXPECT_NE(advice.find("process " + holder), std::string::npos) << advice;
    close(held);
    EXPECT_EQ(PortHolder(pty.SlavePath()), "");
}

}  // namespace
