// A capture file on a real disk: it never grows past its bound, says where it stopped, keeps
// the box's verdict in its last entry, and reads back entry for entry, also when a crash cut it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "capture/CaptureReader.h"
#include "capture/CaptureSummary.h"
#include "capture/CaptureWriter.h"
#include "record/BoxRecordCodec.h"
#include "tests/support/files/TempDir.h"

namespace {

const std::string kHeader =
    R"({"format":"stavel-capture","version":1,"slot":"A1","start":"2026-12-07T13:08:23.752Z",)"
    R"("started":{"event":"started","image":"/srv/release.sdl","size":65536,"device":"/dev/pts/2"}})";
// The session's end as a capture keeps it, with the box's whole record.
std::string Closing() {
    BoxRecord record;
    record.id = "0b6f2c1e-6c1d-4e8a-9d3b-2f1a7c9e5d40";
    record.slot = "A1";
    record.result = BoxResult::Pass;
    record.start = *FromIsoUtcMillis("2026-12-07T13:08:23.752Z");
    record.end = record.start;
    record.boxId = "SN-42";
    record.reasonCode = "passed";
    return JsonLine(
        Json{{"event", "ended"}, {"reason", "passed"}, {"record", BoxRecordJson(record)}});
}
const std::string kClosing = Closing();

TEST(CaptureFileTest, NeverGrowsPastItsBoundSaysWhereItStoppedAndReadsBackAfterACut) {
    TempDir dir;
    const std::string path = dir.File("A1.cap");
    auto created = CaptureWriter::Create(path, kCaptureMaxLeast, kHeader);
    ASSERT_TRUE(created) << created.Failure().Describe();
    CaptureWriter& writer = **created;

    // Each turn the box asks for a block (console text and a data request) and is answered.
    const std::string console(200, 'x');
    const std::string request("\x02\x02\x00\x10\x00\x00\x00\x00\x03", 9);
    CapturedData answer;
    answer.length = 4096;
    answer.sent = 4096;
    answer.sha256[0] = 0xAB;
    const auto start = CaptureWriter::Clock::now();
    int accepted = 0;
    for (int turn = 0; turn < 500; ++turn) {
        const auto when = start + std::chrono::milliseconds(turn);
        answer.offset = static_cast<std::uint32_t>(turn) * 4096;
        writer.Append(CaptureKind::Box, console + request, when);
        writer.Append(CaptureKind::Data, EncodeCapturedData(answer), when);
        accepted += writer.Stopped() ? 0 : 1;
    }
    ASSERT_TRUE(writer.Stopped());
    ASSERT_TRUE(writer.Finish(kClosing));
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
    EXPECT_LE(size, kCaptureMaxLeast);
    EXPECT_EQ(size, writer.Size());

    auto opened = CaptureReader::Open(path);
    ASSERT_TRUE(opened) << opened.Failure().Describe();
    CaptureReader& reader = **opened;
    EXPECT_EQ(JsonStringAt(reader.Header(), "slot"), "A1");
    std::vector<CaptureEntry> entries;
    while (std::optional<CaptureEntry> entry = reader.Next()) {
        entries.push_back(*entry);
    }
    EXPECT_FALSE(reader.CutShort());
    ASSERT_GE(entries.size(), 4u);
    // Whole turns up to the stop, then where it stopped, then the verdict.
    const CaptureEntry& stopped = entries[entries.size() - 2];
    ASSERT_EQ(stopped.kind, CaptureKind::Stopped);
    const Json why = *ParseJsonObject(stopped.body);
    EXPECT_EQ(JsonStringAt(why, "stopped"), "capture-max");
    EXPECT_EQ(JsonWholeAt(why, "max"), kCaptureMaxLeast);
    EXPECT_EQ(entries.back().kind, CaptureKind::Event);
    EXPECT_EQ(entries.back().body, kClosing);
    std::uint64_t last = 0;
    for (std::size_t i = 0; i + 2 < entries.size(); ++i) {
        EXPECT_EQ(entries[i].kind, i % 2 == 0 ? CaptureKind::Box : CaptureKind::Data) << i;
        EXPECT_GE(entries[i].micros, last);
        last = entries[i].micros;
    }
    const std::size_t turns = (entries.size() - 2 + 1) / 2;
    EXPECT_GE(turns, static_cast<std::size_t>(accepted));
    auto lastData = std::find_if(entries.rbegin(), entries.rend(),
                                 [](const CaptureEntry& e) { return e.kind == CaptureKind::Data; });
    ASSERT_NE(lastData, entries.rend());
    const std::optional<CapturedData> data = DecodeCapturedData(lastData->body);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->length, 4096);
    EXPECT_EQ(data->sha256[0], 0xAB);
    EXPECT_EQ(data->offset, static_cast<std::uint32_t>(turns - 1) * 4096);

    Result<std::string> summary = CaptureSummaryText(path);
    ASSERT_TRUE(summary) << summary.Failure().Describe();
    EXPECT_NE(summary->find("box       SN-42\n"), std::string::npos) << *summary;
    EXPECT_NE(summary->find("slot      A1 (/dev/pts/2)\n"), std::string::npos) << *summary;
    EXPECT_NE(summary->find("verdict   PASS\n"), std::string::npos) << *summary;
    EXPECT_NE(summary->find("requests  " + std::to_string(turns) + " (" + std::to_string(turns) +
                            " data)\n"),
              std::string::npos)
        << *summary;
    EXPECT_NE(summary->find(" s  STB_DATA_REQ 4096 bytes at 0x00000000\nstopped "),
              std::string::npos)
        << *summary;
    EXPECT_NE(summary->find("stopped   at --capture-max (65536 bytes)"), std::string::npos)
        << *summary;

    // A crash in the middle of the last entry: everything before it reads, and no verdict.
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size - 5));
    summary = CaptureSummaryText(path);
    ASSERT_TRUE(summary) << summary.Failure().Describe();
    EXPECT_NE(summary->find("verdict   none: the capture ends before the box's verdict\n"),
              std::string::npos)
        << *summary;
    EXPECT_NE(summary->find("cut       "), std::string::npos) << *summary;

    // A file that is no capture is refused, with why.
    WriteBytes(dir.File("other"), "{\"event\":\"started\"}\n");
    const auto refused = CaptureReader::Open(dir.File("other"));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Failure().Describe().find("not a capture"), std::string::npos);
}

// Whatever the box printed, or whoever wrote the file put in it, reaches the terminal escaped:
// a box id that would clear the screen and set the window's title shows as text.
TEST(CaptureFileTest, TheSummaryShowsTextFromTheFileEscaped) {
    TempDir dir;
    const std::string path = dir.File("A1.cap");
    const std::string hostile = "X\x1b[2J\x1b]0;pwn\a";
    const Json header{{"format", kCaptureFormatName},
                      {"version", kCaptureVersion},
                      {"slot", "A1\xC2\x9B" + hostile},
                      {"start", "2026-12-07T13:08:23.752Z"},
                      {"started", {{"event", "started"}, {"image", hostile}, {"device", hostile}}}};
    const Json closing{{"event", "ended"},
                       {"reason", "box-silent"},
                       {"record",
                        {{"id", "r-1"},
                         {"result", "fail"},
                         {"reason", hostile},
                         {"start", "2026-12-07T13:08:23.752Z"},
                         {"schema", 1},
                         {"box_id", hostile}}}};
    auto created = CaptureWriter::Create(path, kCaptureMaxLeast, JsonLine(header));
    ASSERT_TRUE(created) << created.Failure().Describe();
    ASSERT_TRUE((*created)->Finish(JsonLine(closing)));

    const Result<std::string> summary = CaptureSummaryText(path);
    ASSERT_TRUE(summary) << summary.Failure().Describe();
    for (const char control : {'\x1b', '\a', '\x9b'}) {
        EXPECT_EQ(summary->find(control), std::string::npos) << *summary;
    }
    const std::string shown = "X\\x1B[2J\\x1B]0;pwn\\x07";
    EXPECT_NE(summary->find("box       " + shown + "\n"), std::string::npos) << *summary;
    EXPECT_NE(summary->find("slot      A1\\xC2\\x9B" + shown + " (" + shown + ")\n"),
              std::string::npos)
        << *summary;
    EXPECT_NE(summary->find("verdict   FAIL " + shown + "\n"), std::string::npos) << *summary;
    EXPECT_NE(summary->find("image     " + shown + " ("), std::string::npos) << *summary;
}

TEST(CaptureFileTest, TheBoundTakesBytesOrUnitsAndNoLessThanTheLeast) {
    for (const auto& [text, bytes] : {std::pair<const char*, std::int64_t>{"64K", 65536},
                                      {"2M", 2 * 1024 * 1024},
                                      {"100000", 100000}}) {
        const Result<std::int64_t> taken = ParseCaptureMax(text);
        ASSERT_TRUE(taken) << text;
        EXPECT_EQ(*taken, bytes);
    }
    for (const char* refused : {"65535", "1X", "", "M", "-1", "99999999999999G", "1.5M"}) {
        const Result<std::int64_t> bytes = ParseCaptureMax(refused);
        ASSERT_FALSE(bytes) << refused;
        EXPECT_NE(bytes.Failure().Describe().find("--capture-max"), std::string::npos);
    }
}

}  // namespace
