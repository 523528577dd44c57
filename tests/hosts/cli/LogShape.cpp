#include "tests/hosts/cli/LogShape.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <vector>

#include "tests/hosts/cli/CliFixture.h"

namespace {

std::vector<std::string> AllMatches(const std::string& out, const std::regex& re) {
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), re); it != std::sregex_iterator();
         ++it) {
        found.push_back(it->str());
    }
    return found;
}

// The trace lines of one download's data requests, in order, as the box asks for them.
std::string ExpectedRequests(const LogShape& shape) {
    std::string lines;
    for (std::uint64_t offset = 0; offset < shape.size; offset += shape.blockSize) {
        const std::uint64_t length = std::min<std::uint64_t>(shape.blockSize, shape.size - offset);
        char text[80];
        std::snprintf(
            text, sizeof text, "[ZUDI] => STB_DATA_REQ\r\nOffset=0x%08llx, Len=0x%04llx\r\n",
            static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length));
        lines += text;
    }
    return lines;
}

}  // namespace

void ExpectDownloadLog(const std::string& out, const LogShape& shape) {
    const std::string start = kBanner + ConnectedLine(shape.port);
    const std::string eachStart =
        FilenameLine(shape.image, shape.size) + kPleaseConnect + ConnectedLine(shape.port);
    EXPECT_EQ(out.substr(0, start.size() + eachStart.size()), start + eachStart);
    const std::string end = (shape.debug ? "EXIT_APP from STB\r\n" : "") + kStopUploading;
    ASSERT_GE(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end);

    EXPECT_EQ(CountOf(out, eachStart), shape.downloads);
    EXPECT_EQ(CountOf(out, kStopUploading), shape.downloads);
    const std::regex utc("\\[UTC\\]   : [0-9]{4}-[0-9]{2}-[0-9]{2}, [0-9]{2}:[0-9]{2}:[0-9]{2}\n");
    const std::regex local(
        "\\[LOCAL\\] : [0-9]{4}-[0-9]{2}-[0-9]{2}, [0-9]{2}:[0-9]{2}:[0-9]{2}\n");
    EXPECT_EQ(AllMatches(out, utc).size(), static_cast<std::size_t>(shape.downloads));
    EXPECT_EQ(AllMatches(out, local).size(), static_cast<std::size_t>(shape.downloads));

    if (!shape.debug) {
        EXPECT_EQ(out.find("[ZUDI]"), std::string::npos);
        return;
    }
    // The requests' trace lines, taken out of the box's console text around them.
    const std::regex trace(
        "\\[ZUDI\\] => STB_DATA_REQ\r\nOffset=0x[0-9a-f]{8}, Len=0x[0-9a-f]{4}\r\n");
    std::string traced;
    for (const std::string& line : AllMatches(out, trace)) {
        traced += line;
    }
    std::string expected;
    for (int i = 0; i < shape.downloads; ++i) {
        expected += ExpectedRequests(shape);
    }
    EXPECT_EQ(traced, expected);
    EXPECT_EQ(CountOf(out, "[ZUDI] => STB_TIME_REQ\r\n"), shape.downloads);
    EXPECT_GE(CountOf(out, "[ZUDI] => STB_START\r\n"), shape.downloads);
    EXPECT_EQ(CountOf(out, "EXIT_APP from STB\r\n"), shape.downloads);
}
