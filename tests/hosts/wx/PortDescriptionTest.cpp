#include "hosts/wx/PortDescription.h"

#include <stdlib.h>

#include <gtest/gtest.h>

TEST(PortDescription, NamesTheDeviceAndWhatKindItIs) {
    unsetenv("STAVEL_COM1");
    unsetenv("STAVEL_COM33");
    EXPECT_EQ(PortDescription(1).rfind("COM1: /dev/ttyUSB0, the first USB serial adapter", 0), 0u)
        << PortDescription(1);
    EXPECT_NE(PortDescription(18).find("/dev/ttyACM1, the second USB modem"), std::string::npos);
    EXPECT_NE(PortDescription(33).find("/dev/ttyS0, the first built-in serial port"),
              std::string::npos);
    setenv("STAVEL_COM33", "/dev/null", 1);
    EXPECT_EQ(PortDescription(33), "COM33: /dev/null (set for this run)");
    setenv("STAVEL_COM33", "/no/such/tty", 1);
    EXPECT_EQ(PortDescription(33), "COM33: /no/such/tty (set for this run) (not connected)");
    unsetenv("STAVEL_COM33");
}

TEST(PortDescription, EntriesSayWhichNumbersHaveADevice) {
    setenv("STAVEL_COM33", "/dev/null", 1);
    setenv("STAVEL_COM34", "/no/such/tty", 1);
    EXPECT_EQ(PortEntryLabels({"COM33", "COM34", "other"}),
              (std::vector<std::string>{"COM33 (null)", "COM34", "other"}));
    unsetenv("STAVEL_COM33");
    unsetenv("STAVEL_COM34");
}
