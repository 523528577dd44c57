// The station reads its slots' events and the watch view a station's messages: the record must
// reach the report byte for byte, and a line cut short by a dying slot must not be acted on.

#include <gtest/gtest.h>

#include "record/FlatJson.h"

TEST(FlatJsonTest, RecordIsKeptVerbatimAndTornOrForeignLinesReadAsNothing) {
    const std::string record =
        R"j({"id":"x","slot":"/dev/a{b}\"c","adapter":null,"result":"fail",)j"
        R"j("reason":"port lost at 25 % (41 s)","seconds":0.5})j";
    const std::string line = R"({"event":"record","end":"port-lost","record":)" + record + "}";
    const std::optional<FlatJsonFields> fields = ParseFlatJson(line);
    ASSERT_TRUE(fields);
    EXPECT_EQ(FlatJsonString(*fields, "event"), "record");
    EXPECT_EQ(FlatJsonString(*fields, "end"), "port-lost");
    ASSERT_EQ(fields->at("record").kind, FlatJsonValue::Kind::Object);
    EXPECT_EQ(fields->at("record").text, record);
    const std::optional<FlatJsonFields> inner = ParseFlatJson(record);
    ASSERT_TRUE(inner);
    EXPECT_EQ(FlatJsonString(*inner, "slot"), "/dev/a{b}\"c");
    EXPECT_EQ(FlatJsonNumber(*inner, "seconds"), 0.5);
    EXPECT_EQ(inner->at("adapter").kind, FlatJsonValue::Kind::Null);

    // Every prefix of the line is torn: none reads as an event.
    for (std::size_t n = 0; n < line.size(); ++n) {
        EXPECT_FALSE(ParseFlatJson(line.substr(0, n))) << line.substr(0, n);
    }
    for (const char* foreign : {"", "stavel: hello", "{\"a\":1}}", "{\"a\":tru}", "[1]",
                                "{\"a\":\"\\q\"}", "{\"a\" 1}"}) {
        EXPECT_FALSE(ParseFlatJson(foreign)) << foreign;
    }
    const std::optional<FlatJsonFields> progress =
        ParseFlatJson(R"({"event":"progress","bytes":4096,"size":20000,"rate":11520})");
    ASSERT_TRUE(progress);
    EXPECT_EQ(FlatJsonNumber(*progress, "bytes"), 4096);
    EXPECT_EQ(FlatJsonString(*progress, "bytes", "none"), "none");

    // A nested array is kept as written too; escapes are undone, a lone surrogate half shows as
    // U+FFFD rather than as bytes that are not UTF-8.
    EXPECT_EQ(FlatJsonField(R"({"a":{"x":"}"},"l":[1,"]"],"b":"q\"\u00e9\ud800"})", "b"),
              "q\"\xC3\xA9\xEF\xBF\xBD");
    EXPECT_EQ(FlatJsonField(R"({"a":{"x":"}"},"l":[1,"]"],"b":2})", "l"), R"([1,"]"])");
    EXPECT_FALSE(FlatJsonField("{\"a\":1", "a")) << "torn";
    EXPECT_FALSE(FlatJsonField("{\"a\":1}", "b")) << "missing";
}
