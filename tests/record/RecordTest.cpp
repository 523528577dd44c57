// What a box's record says and how it is kept: the JSON line, byte for byte, the record ids
// and the report file on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <set>

#include "record/BoxRecordCodec.h"
#include "record/RecordId.h"
#include "record/ReportFile.h"
#include "record/SecondsText.h"
#include "tests/support/files/TempDir.h"

namespace {

// The lines are those the tool has always written for these records (RecordLines.jsonl), with
// the keys added since at their end: a path of any bytes (a stray byte, a cut sequence, quotes,
// a backslash and controls), a whole share written without a fraction, a small share in
// exponent form, and a key with nothing to hold as null. A reader on the line must never see a
// change.
TEST(BoxRecord, LinesAreByteForByteThoseTheLineReads) {
    BoxRecord r;
    r.id = "0b6f2c1e-6c1d-4e8a-9d3b-2f1a7c9e5d40";
    r.slot = std::string("/dev/serial/by-id/usb-\xff\xfe\"q\\\x01\t\x7f-\xc3\xa9-\xe2\x82-x");
    r.device = "/dev/ttyUSB3";
    r.result = BoxResult::Fail;
    r.reason = "port lost at 25 % (41 s)";
    r.start = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796610667120LL));
    r.end = r.start + std::chrono::milliseconds(41003);
    r.seconds = 41.0034;
    r.bytes = 49152;
    r.requests = 12;
    r.coverage = 0.25;
    r.coverageSent = 1.0 / 3.0;
    r.image = "/tmp/img \xe4\xb8\xad.bin";
    r.imageSize = 196608;
    r.imageSha256 = "3f2a";
    r.final = false;  // a box tried again after this attempt
    std::string lines = BoxRecordLine(r);
    r.attempt = 2;
    r.final = true;
    r.retryOf = "7c3e1d2a-9b8f-4e6d-a5c4-3b2a1f0e9d8c";
    r.adapter = "0403:6001 A50285BI";
    r.made = RecordProvenance{"1.0.0.1", "bench-pc", "L3-S1", "Ann \"night\"", std::nullopt};
    r.boxId = "SN4711";
    r.repeatOf = "1e9d7f0a-2b3c-4d5e-8f90-a1b2c3d4e5f6";
    r.byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    r.adapterSerial = "A50285BI";
    r.reasonCode = "passed";
    r.logFile = "/var/log/stavel/A1_20261207T023107.120Z_PASS.log";
    r.result = BoxResult::Pass;
    r.reason = "";
    r.coverage = 1;
    r.coverageSent = 1;
    r.seconds = 17;
    r.bytes = 0;
    r.label = true;  // its label printed
    lines += BoxRecordLine(r);
    r.label.reset();
    r.result = BoxResult::Aborted;
    // A job with a [unit]: each field's value, a secret one's SHA-256, and the image as served.
    std::string key = "sha256:";
    std::string served;
    for (int i = 0; i < 32; ++i) {
        key += "ab";
        served += "9f";
    }
    r.unit = {{{"serial", "SN00001000"}, {"mac", "aa:bb:cc:00:00:01"}, {"key", key}}};
    r.servedSha256 = served;
    r.coverage = 0;
    r.coverageSent = 1e-7;
    r.seconds = 0.0005;
    lines += BoxRecordLine(r);
    EXPECT_EQ(lines, ReadBytes(STAVEL_SOURCE_DIR "/tests/record/RecordLines.jsonl"));
    // Every line is JSON a strict reader takes.
    for (std::size_t at = 0; at < lines.size();) {
        const std::size_t end = lines.find('\n', at);
        EXPECT_TRUE(ParseJsonObject(std::string_view(lines).substr(at, end - at)));
        at = end + 1;
    }
}

// Every line the tool has written reads back into the same record: written again, it is the
// same bytes. Records another program or an earlier version wrote read too (no milliseconds,
// keys missing), and what is not a record is refused rather than read as a failure.
TEST(BoxRecord, ReadsBackEveryLineItWroteAndRefusesWhatIsNotARecord) {
    const std::string lines = ReadBytes(STAVEL_SOURCE_DIR "/tests/record/RecordLines.jsonl");
    int read = 0;
    for (std::size_t at = 0; at < lines.size(); ++read) {
        const std::size_t end = lines.find('\n', at);
        const std::string line = lines.substr(at, end - at);
        const std::optional<BoxRecord> record = ParseBoxRecord(line);
        ASSERT_TRUE(record) << line;
        EXPECT_EQ(BoxRecordLine(*record), line + "\n");
        at = end + 1;
    }
    EXPECT_EQ(read, 3);

    const std::optional<BoxRecord> old = ParseBoxRecord(
        R"({"id":"x","result":"aborted","start":"2026-12-07T02:31:07Z","schema":1})");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->result, BoxResult::Aborted);
    EXPECT_EQ(old->end, old->start);
    EXPECT_TRUE(old->logComplete);
    EXPECT_EQ(old->attempt, 1) << "a record from before retries is its box's one attempt";
    EXPECT_TRUE(old->final);
    EXPECT_FALSE(old->retryOf);
    EXPECT_FALSE(old->boxId);
    EXPECT_FALSE(old->unit) << "schema 1 had no unit";
    EXPECT_FALSE(old->servedSha256);
    EXPECT_FALSE(old->label) << "a record from before labels had none due";
    for (const char* refused :
         {R"({"id":"x","result":"PASS","start":"2026-12-07T02:31:07Z","schema":1})",
          R"({"id":"x","result":"pass","start":"yesterday","schema":1})",
          R"({"id":"","result":"pass","start":"2026-12-07T02:31:07Z","schema":1})",
          R"({"id":"x","result":"pass","start":"2026-12-07T02:31:07Z"})", R"(["pass"])",
          // Years past what the clock's time point holds: reading them overflowed it.
          R"({"id":"x","result":"pass","start":"1014-12-07T02:31:07Z","schema":1})",
          R"({"id":"x","result":"pass","start":"9999-12-07T02:31:07.999Z","schema":1})"}) {
        EXPECT_FALSE(ParseBoxRecord(refused)) << refused;
    }
    EXPECT_TRUE(FromIsoUtcMillis("1970-01-01T00:00:00Z")) << "a clock never set";
    // Figures no box has are written back as they came (rounding 1e300 to the millisecond
    // overflowed).
    const std::optional<BoxRecord> huge = ParseBoxRecord(
        R"({"id":"x","result":"pass","start":"2026-12-07T02:31:07Z","schema":1,"seconds":1e300})");
    ASSERT_TRUE(huge);
    EXPECT_NE(BoxRecordLine(*huge).find(R"("seconds":1e+300,)"), std::string::npos);
}

// A payload from outside is refused before parsing when it nests past the bound or is too
// large, however it is made; nesting within the bound is read.
TEST(BoxRecord, HostileNestingAndSizeAreRefusedBeforeParsing) {
    const auto nested = [](int depth, const std::string& inner) {
        return "{\"a\":" + std::string(static_cast<std::size_t>(depth), '[') + inner +
               std::string(static_cast<std::size_t>(depth), ']') + "}";
    };
    EXPECT_TRUE(ParseJsonObject(nested(kJsonMaxDepth - 1, "1")));
    EXPECT_FALSE(ParseJsonObject(nested(kJsonMaxDepth, "1")));
    EXPECT_FALSE(ParseJsonObject(nested(100000, "1")));
    // Brackets inside strings, escaped quotes among them, are text, not depth.
    EXPECT_TRUE(ParseJsonObject("{\"a\":\"" + std::string(100, '[') + "\\\"[[\"}"));
    const std::string big = "{\"a\":\"" + std::string(kJsonMaxBytes, 'x') + "\"}";
    EXPECT_FALSE(ParseJsonObject(big));
    EXPECT_TRUE(ParseJsonObject(big, big.size()));
    // A number too large for a whole one reads as the fallback, never as a wrapped value.
    const Json numbers = *ParseJsonObject(R"({"huge":1e300,"small":-5.7,"whole":42})");
    EXPECT_EQ(JsonWholeAt(numbers, "huge", 7), 7);
    EXPECT_EQ(JsonWholeAt(numbers, "small"), -5);
    EXPECT_EQ(JsonWholeAt(numbers, "whole"), 42);
}

TEST(BoxRecord, IdsAreVersion4UuidsAndNeverRepeat) {
    std::set<std::string> seen;
    for (int i = 0; i < 10000; ++i) {
        const std::string id = NewRecordId();
        std::string shape = id;  // xxxxxxxx-xxxx-4xxx-[89ab]xxx-xxxxxxxxxxxx in lower-case hex
        for (char& c : shape) {
            c = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ? 'x' : c;
        }
        ASSERT_EQ(shape, "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx") << id;
        ASSERT_TRUE(id[14] == '4' && std::string("89ab").find(id[19]) != std::string::npos) << id;
        ASSERT_TRUE(seen.insert(id).second) << id;
    }
}

TEST(BoxRecord, SecondsForTheEyeAreRoundedTenthsBelowTenWholeAbove) {
    const std::pair<double, const char*> cases[] = {
        {0.0, "0.0 s"},  {0.34, "0.3 s"}, {1.7, "1.7 s"}, {1.76, "1.8 s"},
        {9.94, "9.9 s"}, {9.96, "10 s"},  {10.4, "10 s"}, {41.7, "42 s"},
        {120, "120 s"},  {-3, "0.0 s"},   {NAN, "0.0 s"}, {1e12, "1000000000000 s"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(SecondsText(seconds), text) << seconds;
    }
}

std::string Why(const Result<std::unique_ptr<ReportFile>>& report) {
    return report ? std::string() : report.Failure().Describe();
}

TEST(BoxRecord, ReportAppendsWholeLinesAndSaysWhyItCannotBeOpened) {
    TempDir folder;
    const std::string path = folder.File("boxes.jsonl");
    {
        auto report = ReportFile::Open(path);
        ASSERT_TRUE(report) << Why(report);
        ASSERT_TRUE((*report)->Append("{\"a\":1}\n"));
        ASSERT_TRUE((*report)->Append("{\"a\":2}\n"));
    }
    EXPECT_EQ(ReadBytes(path), "{\"a\":1}\n{\"a\":2}\n");
    {
        // A line torn by some earlier crash stays, but the next line starts a line of its own.
        std::ofstream(path, std::ios::app) << "{\"a\":3";
        auto report = ReportFile::Open(path);
        ASSERT_TRUE(report) << Why(report);
        ASSERT_TRUE((*report)->Append("{\"a\":4}\n"));
        ASSERT_TRUE((*report)->Append("{\"a\":5}\n"));
    }
    EXPECT_EQ(ReadBytes(path), "{\"a\":1}\n{\"a\":2}\n{\"a\":3\n{\"a\":4}\n{\"a\":5}\n");

    EXPECT_EQ(Why(ReportFile::Open(folder.File("no/such/folder.jsonl"))),
              folder.File("no/such/folder.jsonl") + ": open: No such file or directory");
    EXPECT_EQ(Why(ReportFile::Open(folder.Path())), folder.Path() + ": open: Is a directory");
    // A FIFO that nobody reads is refused at once rather than waited for.
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(Why(ReportFile::Open(fifo)), fifo + ": open: No such device or address");
    std::remove(fifo.c_str());

    // A full disk: the line cut short is taken back, so the file still ends on a whole line.
    if (access("/dev/full", W_OK) == 0) {
        auto full = ReportFile::Open("/dev/full");
        ASSERT_TRUE(full) << Why(full);
        const Result<void> kept = (*full)->Append("{\"a\":6}\n");
        ASSERT_FALSE(kept);
        EXPECT_EQ(kept.Failure().Describe(), "/dev/full: write: No space left on device");
    }
}

}  // namespace
