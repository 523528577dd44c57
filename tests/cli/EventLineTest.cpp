// The station reads its slots' events: the record must reach the report byte for byte, and a
// line cut short by a dying slot must not be acted on.

#include <gtest/gtest.h>

#include "hosts/cli/station/BoxLogDir.h"
#include "hosts/cli/station/EventLine.h"

TEST(EventLineTest, RecordIsKeptVerbatimAndTornOrForeignLinesReadAsNothing) {
    const std::string record =
        R"j({"id":"x","slot":"/dev/a{b}\"c","adapter":null,"result":"fail",)j"
        R"j("reason":"port lost at 25 % (41 s)","seconds":0.5})j";
    const std::string line = R"({"event":"record","end":"port-lost","record":)" + record + "}";
    const std::optional<EventFields> fields = ParseEventLine(line);
    ASSERT_TRUE(fields);
    EXPECT_EQ(EventString(*fields, "event"), "record");
    EXPECT_EQ(EventString(*fields, "end"), "port-lost");
    ASSERT_EQ(fields->at("record").kind, EventValue::Kind::Object);
    EXPECT_EQ(fields->at("record").text, record);
    const std::optional<EventFields> inner = ParseEventLine(record);
    ASSERT_TRUE(inner);
    EXPECT_EQ(EventString(*inner, "slot"), "/dev/a{b}\"c");
    EXPECT_EQ(EventNumber(*inner, "seconds"), 0.5);
    EXPECT_EQ(inner->at("adapter").kind, EventValue::Kind::Null);

    // Every prefix of the line is torn: none reads as an event.
    for (std::size_t n = 0; n < line.size(); ++n) {
        EXPECT_FALSE(ParseEventLine(line.substr(0, n))) << line.substr(0, n);
    }
    for (const char* foreign : {"", "stavel: hello", "{\"a\":1}}", "{\"a\":tru}", "[1]",
                                "{\"a\":\"\\q\"}", "{\"a\" 1}"}) {
        EXPECT_FALSE(ParseEventLine(foreign)) << foreign;
    }
    const std::optional<EventFields> progress =
        ParseEventLine(R"({"event":"progress","bytes":4096,"size":20000,"rate":11520})");
    ASSERT_TRUE(progress);
    EXPECT_EQ(EventNumber(*progress, "bytes"), 4096);
    EXPECT_EQ(EventString(*progress, "bytes", "none"), "none");
}

TEST(EventLineTest, SlotNamesBecomeSafeFileNames) {
    EXPECT_EQ(BoxLogDir::SafeName("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"),
              "serial_by-path_pci-0000_00_14.0-usb-0_2_1.0-port0");
    EXPECT_EQ(BoxLogDir::SafeName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(BoxLogDir::SafeName("COM3"), "COM3");
    EXPECT_EQ(BoxLogDir::SafeName("../../etc/x\n"), "_._.._etc_x_");
    EXPECT_EQ(BoxLogDir::SafeName(".."), "_.");
    EXPECT_EQ(BoxLogDir::SafeName(""), "slot");
    EXPECT_EQ(BoxLogDir::SafeName(std::string(300, 'a')).size(), 150u);
}
