// How a box is judged: its verdict and reason for every way a session ends, the coverage of the
// image, and the verdict line the operator reads.

#include <gtest/gtest.h>

#include <set>

#include "download/BoxVerdict.h"
#include "download/Coverage.h"
#include "record/VerdictLine.h"

namespace {

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

TEST(BoxRecord, EachEndHasItsReasonAndItsVerdictLine) {
    // The box asked for a quarter of the image but was given less: every percentage in a reason
    // is what it was given, not how far the bar came.
    SessionFacts facts;
    facts.slot = BoxSlot{"COM7", "/dev/ttyUSB6", {}, {}, {}, {}};
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
    const SysFailure failure(SysResult{SysStatus::NotFound, "open"}, "/dev/x",
                             "the slot's process ended by signal 9");
    struct Case {
        EndReason reason;
        std::string text;
        BoxResult result;
    };
    const std::vector<Case> cases{
        {EndReason::Passed, "", BoxResult::Pass},
        {EndReason::PortNotOpened,
         "port could not be opened: /dev/x: the slot's process ended by signal 9", BoxResult::Fail},
        {EndReason::PortLost, "port lost at 18 % (42 s)", BoxResult::Fail},
        {EndReason::BoxStalled, "box stopped reading at 18 % (42 s)", BoxResult::Fail},
        {EndReason::ImageChanged, "image changed during the download", BoxResult::Fail},
        {EndReason::BoxSilent, "box silent for 2 s", BoxResult::Fail},
        {EndReason::OperatorStop, "stopped by the operator", BoxResult::Aborted},
        {EndReason::SlotCrashed, "the slot's process ended by signal 9 at 18 % (42 s)",
         BoxResult::Fail},
        {EndReason::StationKilled, "station stopped: no verdict", BoxResult::Fail},
    };
    std::set<std::string> ids;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
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
                            ? "COM7 (/dev/ttyUSB6): PASS 50000 bytes in 42 s, sha256 "
                              "3f2a9c1e5b7d\xE2\x80\xA6"
                        : c.result == BoxResult::Aborted ? "COM7 (/dev/ttyUSB6): ABORTED " + c.text
                                                         : "COM7 (/dev/ttyUSB6): FAIL " + c.text);
    }
    // A short box's seconds are rounded to tenths, never cut: 1.7 s is not "1 s".
    const BoxRecord quick = JudgeSession(facts, DownloadEnded{EndReason::PortLost, failure, {}},
                                         t0 + std::chrono::milliseconds(1750));
    EXPECT_EQ(quick.reason, "port lost at 18 % (1.8 s)");
    EXPECT_EQ(VerdictLine("A1", JudgeSession(facts, DownloadEnded{EndReason::Passed, {}, {}},
                                             t0 + std::chrono::milliseconds(340)))
                  .substr(0, 31),
              "A1: PASS 50000 bytes in 0.3 s, ");
}

}  // namespace
