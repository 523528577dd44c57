// A slot's name becomes the name of its log files: nothing in it may climb out of the folder.

#include <gtest/gtest.h>

#include "slot/BoxLogDir.h"

TEST(BoxLogDirTest, SlotNamesBecomeSafeFileNames) {
    EXPECT_EQ(BoxLogDir::SafeName("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"),
              "serial_by-path_pci-0000_00_14.0-usb-0_2_1.0-port0");
    EXPECT_EQ(BoxLogDir::SafeName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(BoxLogDir::SafeName("COM3"), "COM3");
    EXPECT_EQ(BoxLogDir::SafeName("../../etc/x\n"), "_._.._etc_x_");
    EXPECT_EQ(BoxLogDir::SafeName(".."), "_.");
    EXPECT_EQ(BoxLogDir::SafeName(""), "slot");
    EXPECT_EQ(BoxLogDir::SafeName(std::string(300, 'a')).size(), 150u);
}
