// What a box's record says and how it is written: the verdict and its reason, the JSON line
// (escaping and all), the coverage of the image, and the report file on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>

#include "record/BoxRecordJson.h"
#include "download/BoxVerdict.h"
#include "download/Coverage.h"
#include "record/RecordId.h"
#include "record/ReportFile.h"
#include "tests/support/files/TempDir.h"

namespace {

TEST(BoxRecord, JsonStringsAreEscapedAndAlwaysValidUtf8) {
    EXPECT_EQ(JsonString("plain"), "\"plain\"");
    EXPECT_EQ(JsonString("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
    EXPECT_EQ(JsonString(std::string("\n\r\t\b\f\x01\x1f\x7f", 8)),
              "\"\\n\\r\\t\\b\\f\\u0001\\u001f\x7f\"");
    EXPECT_EQ(JsonString(std::string("nul\0here", 8)), "\"nul\\u0000here\"");
    // Well-formed UTF-8 passes whole; a stray byte, a cut sequence, an overlong form and a
    // surrogate each become U+FFFD.
    EXPECT_EQ(JsonString("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xA6"),
              "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x93\xA6\"");
    EXPECT_EQ(JsonString("a\xFF"
                         "b"),
              "\"a\xEF\xBF\xBD"
              "b\"");
    EXPECT_EQ(JsonString("\xE2\x82"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(BoxRecord, LineHoldsEveryKeyInOrderWithUtcMillisecondTimes) {
    BoxRecord r;
    r.id = "0f0e0d0c-0b0a-4908-8706-050403020100";
    r.slot = "COM7";
    r.device = "/dev/ttyUSB6";
    r.result = BoxResult::Fail;
    r.reason = "port lost at 25 % (41 s)";
    r.start = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796610667120));
    r.end = r.start + std::chrono::milliseconds(41005);
    r.seconds = 41.0049;
    r.bytes = 49152;
    r.requests = 12;
    r.coverage = 0.25;
    r.coverageSent = 0.1875;
    r.image = "/srv/images/box \"A\".sdl";
    r.imageSize = 196608;
    r.imageSha256 = std::string(64, 'a');
    EXPECT_EQ(BoxRecordLine(r),
              "{\"id\":\"0f0e0d0c-0b0a-4908-8706-050403020100\",\"slot\":\"COM7\","
              "\"device\":\"/dev/ttyUSB6\",\"adapter\":null,\"result\":\"fail\","
              "\"reason\":\"port lost at 25 % (41 s)\",\"start\":\"2026-12-07T02:31:07.120Z\","
              "\"end\":\"2026-12-07T02:31:48.125Z\",\"seconds\":41.005,\"bytes\":49152,"
              "\"requests\":12,\"coverage\":0.25,\"coverage_sent\":0.1875,\"image\":\"/srv/images/"
              "box \\\"A\\\".sdl\","
              "\"image_size\":196608,\"image_sha256\":\"" +
                  std::string(64, 'a') + "\"}\n");
    r.adapter = "0403:6001 A50285BI";
    r.result = BoxResult::Pass;
    r.reason.clear();
    const std::string pass = BoxRecordLine(r);
    EXPECT_NE(pass.find("\"adapter\":\"0403:6001 A50285BI\",\"result\":\"pass\",\"reason\":\"\""),
              std::string::npos)
        << pass;
    r.result = BoxResult::Aborted;
    EXPECT_NE(BoxRecordLine(r).find("\"result\":\"aborted\""), std::string::npos);
}

TEST(BoxRecord, CoverageCountsEachImageByteOnceWhateverTheBoxAsks) {
    Coverage c;
    c.Add(0, 4096, 10000);
    c.Add(2048, 4096, 10000);  // overlaps the first
    c.Add(9000, 4096, 10000);  // runs past the end: clipped
    c.Add(20000, 100, 10000);  // wholly past the end
    c.Add(6144, 100, 10000);   // touches the merged range
    EXPECT_EQ(c.Bytes(), 6244 + 1000);
    c.Add(0, 10000, 10000);
    EXPECT_EQ(c.Bytes(), 10000);
    EXPECT_DOUBLE_EQ(c.Fraction(10000), 1.0);
    c.Clear();
    c.Add(5000, 2500, 10000);
    EXPECT_DOUBLE_EQ(c.Fraction(10000), 0.25);
    EXPECT_DOUBLE_EQ(Coverage().Fraction(0), 1.0) << "an empty image is wholly covered";
}

TEST(BoxRecord, EachEndHasItsReasonAndItsExitStatus) {
    // The box asked for a quarter of the image but was given less: every percentage in a reason
    // is what it was given, not how far the bar came.
    SessionFacts facts;
    facts.slot = BoxSlot{"COM7", "/dev/ttyUSB6", std::nullopt};
    facts.imagePath = "/img/a.sdl";
    facts.imageSize = 200000;
    facts.imageSha256 = "3f2a9c1e5b7d" + std::string(52, '0');
    const auto t0 = std::chrono::steady_clock::now();
    facts.startSteady = t0;
    facts.start = std::chrono::system_clock::now();
    facts.began = true;
    facts.bytesSent = 50000;
    facts.distinctSent = 37500;
    facts.distinctAsked = 50000;
    facts.requests = 13;
    const auto at = t0 + std::chrono::milliseconds(41700);
    const SysFailure failure(SysResult{SysStatus::NotFound, "open", 2}, "/dev/x",
                             "the slot's process ended by signal 9");
    struct Case {
        EndReason reason;
        std::string text;
        BoxResult result;
        int status;
    };
    const std::vector<Case> cases{
        {EndReason::Passed, "", BoxResult::Pass, 0},
        {EndReason::PortNotOpened,
         "port could not be opened: /dev/x: the slot's process ended by signal 9", BoxResult::Fail,
         3},
        {EndReason::PortLost, "port lost at 18 % (41 s)", BoxResult::Fail, 4},
        {EndReason::BoxStalled, "box stopped reading at 18 % (41 s)", BoxResult::Fail, 5},
        {EndReason::ImageChanged, "image changed during the download", BoxResult::Fail, 6},
        {EndReason::BoxSilent, "box silent for 2 s", BoxResult::Fail, 7},
        {EndReason::OperatorStop, "stopped by the operator", BoxResult::Aborted, 130},
        {EndReason::SlotCrashed, "the slot's process ended by signal 9 at 18 % (41 s)",
         BoxResult::Fail, 1},
    };
    std::set<std::string> ids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ExitStatusFor(c.reason, 130), c.status);
        EndReason back{};
        EXPECT_TRUE(EndReasonFromCode(EndReasonCode(c.reason), &back));
        EXPECT_EQ(back, c.reason);
        const BoxRecord r =
            JudgeSession(facts, DownloadEnded{c.reason, failure, std::chrono::seconds(2)}, at);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.reason, c.text);
        EXPECT_DOUBLE_EQ(r.seconds, 41.7);
        EXPECT_EQ(r.end - r.start, std::chrono::milliseconds(41700));
        EXPECT_DOUBLE_EQ(r.coverage, 0.25);
        EXPECT_DOUBLE_EQ(r.coverageSent, 0.1875);
        EXPECT_EQ(r.bytes, 50000);
        EXPECT_EQ(r.requests, 13);
        EXPECT_EQ(r.imageSize, 200000);
        EXPECT_TRUE(ids.insert(r.id).second) << "ids are never shared";
        const std::string line = VerdictLine("COM7 (/dev/ttyUSB6)", r);
        EXPECT_EQ(line, c.result == BoxResult::Pass
                            ? "COM7 (/dev/ttyUSB6): PASS 50000 bytes in 41.7 s, sha256 "
                              "3f2a9c1e5b7d\xE2\x80\xA6"
                        : c.result == BoxResult::Aborted ? "COM7 (/dev/ttyUSB6): ABORTED " + c.text
                                                         : "COM7 (/dev/ttyUSB6): FAIL " + c.text);
    }
}

// xxxxxxxx-xxxx-4xxx-[89ab]xxx-xxxxxxxxxxxx in lower-case hex.
bool IsUuidV4(const std::string& id) {
    if (id.size() != 36 || id[14] != '4' || std::string("89ab").find(id[19]) == std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (id[i] >= '0' && id[i] <= '9') || (id[i] >= 'a' && id[i] <= 'f');
        if (dash ? id[i] != '-' : !hex) {
            return false;
        }
    }
    return true;
}

TEST(BoxRecord, IdsAreVersion4UuidsAndNeverRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        const std::string id = NewRecordId();
        ASSERT_TRUE(IsUuidV4(id)) << id;
        ASSERT_TRUE(seen.insert(id).second) << id;
    }
}

TEST(BoxRecord, ReportAppendsWholeLinesAndSaysWhyItCannotBeOpened) {
    TempDir folder;
    const std::string path = folder.File("boxes.jsonl");
    std::string error;
    {
        auto report = ReportFile::Open(path, &error);
        ASSERT_TRUE(report) << error;
        ASSERT_TRUE(report->Append("{\"a\":1}\n", &error)) << error;
        ASSERT_TRUE(report->Append("{\"a\":2}\n", &error)) << error;
    }
    EXPECT_EQ(ReadBytes(path), "{\"a\":1}\n{\"a\":2}\n");
    {
        // A line torn by some earlier crash stays, but the next line starts a line of its own.
        std::ofstream(path, std::ios::app) << "{\"a\":3";
        auto report = ReportFile::Open(path, &error);
        ASSERT_TRUE(report) << error;
        ASSERT_TRUE(report->Append("{\"a\":4}\n", &error)) << error;
        ASSERT_TRUE(report->Append("{\"a\":5}\n", &error)) << error;
    }
    EXPECT_EQ(ReadBytes(path), "{\"a\":1}\n{\"a\":2}\n{\"a\":3\n{\"a\":4}\n{\"a\":5}\n");

    EXPECT_FALSE(ReportFile::Open(folder.File("no/such/folder.jsonl"), &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    EXPECT_FALSE(ReportFile::Open(folder.Path(), &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;

    // A FIFO that nobody reads is refused at once rather than waited for.
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReportFile::Open(fifo, &error));
    EXPECT_NE(error.find("No such device or address"), std::string::npos) << error;
    std::remove(fifo.c_str());

    // A full disk: the line cut short is taken back, so the file still ends on a whole line.
    if (access("/dev/full", W_OK) == 0) {
        auto full = ReportFile::Open("/dev/full", &error);
        ASSERT_TRUE(full) << error;
        EXPECT_FALSE(full->Append("{\"a\":6}\n", &error));
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    }
}

}  // namespace
