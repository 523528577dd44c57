// A unit's data in memory: each format's bytes, the counter's text, a list's mistakes by their
// lines, and the region as a box is served it with its CRC-32 fixed up.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "unit/Crc32.h"
#include "unit/UnitList.h"
#include "unit/UnitRegion.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (const int v : values) {
        bytes += static_cast<char>(v);
    }
    return bytes;
}

TEST(UnitFormat, EachFormatWritesItsBytesAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::Ascii, "SN1", 6), Bytes({'S', 'N', '1', 0, 0, 0}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::Hex, "00A1ff", 4), Bytes({0x00, 0xA1, 0xFF, 0}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::Mac, "aa:bb:cc:0d:ee:ff", 6),
              Bytes({0xAA, 0xBB, 0xCC, 0x0D, 0xEE, 0xFF}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::Mac, "AA-BB-CC-0D-EE-FF", 6),
              Bytes({0xAA, 0xBB, 0xCC, 0x0D, 0xEE, 0xFF}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::U32Le, "0x01020304", 4), Bytes({4, 3, 2, 1}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::U32Be, "16909060", 4), Bytes({1, 2, 3, 4}));
    EXPECT_EQ(*EncodeUnitValue(UnitFormat::U32Le, "4294967295", 4), Bytes({255, 255, 255, 255}));

    const std::vector<std::tuple<UnitFormat, std::string, std::size_t, std::string>> refused{
        {UnitFormat::Ascii, "SN0000001", 8, "longer than its 8-byte field"},
        {UnitFormat::Ascii, "SN\n1", 8, "printable"},
        {UnitFormat::Hex, "abc", 8, "two digits a byte"},
        {UnitFormat::Hex, "zz", 8, "0-9 a-f"},
        {UnitFormat::Hex, "000102", 2, "longer than its 2-byte field"},
        {UnitFormat::Mac, "aa:bb:cc:dd:ee", 6, "six pairs"},
        {UnitFormat::Mac, "aa:bb-cc:dd:ee:ff", 6, "six pairs"},
        {UnitFormat::Mac, "aa:bb:cc:dd:ee:fg", 6, "six pairs"},
        {UnitFormat::U32Le, "4294967296", 4, "0 to 4294967295"},
        {UnitFormat::U32Be, "-1", 4, "0 to 4294967295"},
        {UnitFormat::U32Be, "0x", 4, "0 to 4294967295"},
    };
    for (const auto& [format, text, length, why] : refused) {
        const Result<std::string> r = EncodeUnitValue(format, text, length);
        ASSERT_FALSE(r) << text;
        EXPECT_NE(r.Failure().Describe().find(why), std::string::npos) << r.Failure().Describe();
    }
    EXPECT_EQ(UnitFormatNamed("u32be"), UnitFormat::U32Be);
    EXPECT_FALSE(UnitFormatNamed("utf8"));
}

TEST(UnitFormat, ACounterRendersThroughItsPattern) {
    EXPECT_EQ(CounterPattern::Parse("SN{:08d}")->Render(1000), "SN00001000");
    EXPECT_EQ(CounterPattern::Parse("{}")->Render(7), "7");
    EXPECT_EQ(CounterPattern::Parse("{:6d}-x")->Render(42), "    42-x");
    EXPECT_EQ(CounterPattern::Parse("ID{:04X}")->Render(255), "ID00FF");
    EXPECT_EQ(CounterPattern::Parse("{{{:x}}}")->Render(255), "{ff}");
    EXPECT_EQ(CounterPattern::Parse("N{:03d}")->Render(123456), "N123456");  // never cut
    for (const char* wrong : {"SN", "SN{:08q}", "{:x}{:x}", "{0}", "a}{}", "{:123d}"}) {
        EXPECT_FALSE(CounterPattern::Parse(wrong)) << wrong;
    }
}

TEST(UnitFormat, Crc32IsIeeesAsZlibComputesIt) {
    EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32(""), 0u);
    EXPECT_EQ(Crc32(std::string(32, '\0')), 0x190A55ADu);
}

TEST(UnitList, AListIsReadWithItsHeaderAndEveryMistakeNamesItsLine) {
    const Result<UnitList> list = ParseUnitList(
        "mac,key\r\naa:bb:cc:dd:ee:01,\"00,11\"\n\n\"aa:bb:cc:dd:ee:02\",\"a\"\"b\"\n", "macs.csv");
    ASSERT_TRUE(list) << list.Failure().Describe();
    EXPECT_EQ(list->columns, (std::vector<std::string>{"mac", "key"}));
    ASSERT_EQ(list->rows.size(), 2u);
    EXPECT_EQ(list->rows[0][1], "00,11");
    EXPECT_EQ(list->rows[1][1], "a\"b");
    EXPECT_EQ(list->lines, (std::vector<int>{2, 4}));
    EXPECT_EQ(*UnitListColumn(*list, "macs.csv", "key"), 1u);
    EXPECT_EQ(UnitListColumn(*list, "macs.csv", "serial").Failure().Describe(),
              "macs.csv: has no column 'serial'; its columns: mac, key");

    const Result<UnitList> twice = ParseUnitList("mac\na\nb\nc\nb\n", "macs.csv");
    ASSERT_TRUE(twice);
    EXPECT_EQ(CheckUnitListUnique(*twice, "macs.csv", 0).Failure().Describe(),
              "macs.csv:5: the mac 'b' stands here and on line 3");
    EXPECT_EQ(ParseUnitList("mac,key\na\n", "l.csv").Failure().Describe(),
              "l.csv:2: has 1 field(s), the header 2");
    EXPECT_EQ(ParseUnitList("mac\n\"a\n", "l.csv").Failure().Describe(),
              "l.csv:2: a quoted field is never closed");
    EXPECT_FALSE(ParseUnitList("", "l.csv"));
}

// The example's unit: a serial from a counter, a MAC and a secret key from one list.
UnitLayout ExampleSpec() {
    UnitLayout layout;
    layout.offset = 0x1F000;
    layout.length = 256;
    UnitSource counter;
    counter.name = "serial";
    counter.pattern = *CounterPattern::Parse("SN{:08d}");
    counter.start = 1000;
    UnitSource list;
    list.kind = UnitSource::Kind::List;
    list.name = "mac";
    list.file = "/srv/macs.csv";
    list.columns = {"mac", "key"};
    list.rows = {{"aa:bb:cc:dd:ee:01", std::string(64, 'a')},
                 {"aa:bb:cc:dd:ee:02", std::string(64, 'b')}};
    layout.sources = {counter, list};
    layout.fields = {{"serial", 0, 16, UnitFormat::Ascii, 0, 0, false},
                     {"mac", 16, 6, UnitFormat::Mac, 1, 0, false},
                     {"key", 32, 32, UnitFormat::Hex, 1, 1, true}};
    layout.checksum = UnitChecksum{0x1F000, 0x1F0FC, 0x1F0FC, false};
    return layout;
}

TEST(UnitRegion, TheRegionCarriesEachFieldAndTheChecksumOverTheRest) {
    const UnitLayout layout = ExampleSpec();
    const Result<UnitValues> values = UnitValuesOf(layout, {"1007", "aa:bb:cc:dd:ee:02"});
    ASSERT_TRUE(values) << values.Failure().Describe();
    EXPECT_EQ(values->fieldTexts,
              (std::vector<std::string>{"SN00001007", "aa:bb:cc:dd:ee:02", std::string(64, 'b')}));
    std::string base(256, '\x5A');  // the image's own bytes there
    const Result<std::string> region = RenderUnitRegion(layout, base, *values);
    ASSERT_TRUE(region) << region.Failure().Describe();
    ASSERT_EQ(region->size(), 256u);
    EXPECT_EQ(region->substr(0, 16), std::string("SN00001007") + std::string(6, '\0'));
    EXPECT_EQ(region->substr(16, 6), Bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x02}));
    EXPECT_EQ(region->substr(22, 10), std::string(10, '\x5A')) << "between fields: the image's";
    EXPECT_EQ(region->substr(32, 32), std::string(32, '\xBB'));
    // The CRC over [0, 0xFC) of the region, little-endian at 0xFC.
    const std::uint32_t crc = Crc32(std::string_view(*region).substr(0, 0xFC));
    EXPECT_EQ(region->substr(0xFC, 4),
              Bytes({static_cast<int>(crc & 0xFF), static_cast<int>((crc >> 8) & 0xFF),
                     static_cast<int>((crc >> 16) & 0xFF), static_cast<int>(crc >> 24)}));
    UnitLayout big = layout;
    big.checksum->bigEndian = true;
    EXPECT_EQ(RenderUnitRegion(big, base, *values)->substr(0xFC, 4),
              Bytes({static_cast<int>(crc >> 24), static_cast<int>((crc >> 16) & 0xFF),
                     static_cast<int>((crc >> 8) & 0xFF), static_cast<int>(crc & 0xFF)}));

    // Recorded: the secret only as its SHA-256.
    const auto shown = UnitShown(layout, *values);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], (std::pair<std::string, std::string>{"serial", "SN00001007"}));
    EXPECT_EQ(shown[2].second.substr(0, 7), "sha256:");
    EXPECT_EQ(shown[2].second.size(), 7u + 64u);
    EXPECT_EQ(shown[2].second.find(std::string(64, 'b')), std::string::npos);

    // A row gone from the list, a counter grown past its field: refused, never served short.
    EXPECT_FALSE(UnitValuesOf(layout, {"1007", "aa:bb:cc:dd:ee:09"}));
    EXPECT_FALSE(UnitValuesOf(layout, {"x", "aa:bb:cc:dd:ee:01"}));
    const Result<UnitValues> long_ =
        UnitValuesOf(layout, {"12345678901234567", "aa:bb:cc:dd:ee:01"});
    ASSERT_TRUE(long_);
    EXPECT_FALSE(RenderUnitRegion(layout, base, *long_));
}

}  // namespace
