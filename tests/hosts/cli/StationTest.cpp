// A station end to end: several simulated boxes at once, each on a pseudo-terminal reached
// through a symlink the test controls (as /dev/serial/by-path/... would be), served by one
// `stavel` with several --port values.

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/hosts/cli/JsonLine.h"
#include "tests/support/pty/Pty.h"

namespace {

class StationTest : public CliTest {
  protected:
    // Points `link` at `target`, replacing what it pointed at in one step.
    static void PointLink(const std::string& link, const std::string& target) {
        const std::string fresh = link + ".new";
        std::filesystem::remove(fresh);
        std::filesystem::create_symlink(target, fresh);
        std::filesystem::rename(fresh, link);
    }

    std::string Slot(int k) const { return m_dir.File("slot" + std::to_string(k)); }

    std::vector<std::string> Station(int slots, const std::string& image,
                                     std::vector<std::string> extra) const {
        std::vector<std::string> args{ProgramPath("stavel")};
        for (int k = 1; k <= slots; ++k) {
            args.push_back("--port");
            args.push_back(Slot(k));
        }
        args.insert(args.end(), {"--image", image, "--ini", IniPath()});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // The report's records, each checked to be one whole JSON object.
    static std::vector<JsonObject> Records(const std::string& path) {
        std::vector<JsonObject> records;
        for (const std::string& line : ReportLines(ReadBytes(path))) {
            std::optional<JsonObject> record = ParseJsonObject(line);
            EXPECT_TRUE(record) << line;
            if (record) {
                records.push_back(std::move(*record));
            }
        }
        return records;
    }

    // The tally's figures for `slot`: passed, failed.
    static std::pair<int, int> TallyOf(const std::string& stderrText, const std::string& slot) {
        const std::size_t tally = stderrText.find("stavel: tally\n");
        if (tally == std::string::npos) {
            return {-1, -1};
        }
        std::istringstream lines(stderrText.substr(tally));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string name;
            int passed = -1;
            int failed = -1;
            if (words >> name >> passed >> failed && name == slot) {
                return {passed, failed};
            }
        }
        return {-1, -1};
    }
};

TEST_F(StationTest, FourSlotsOfThreeBoxesWithOneHangingUpAndItsAdapterComingBack) {
    const std::string image = MakeImage(20000);
    std::vector<std::unique_ptr<BoxRunner>> boxes;
    for (int k = 1; k <= 4; ++k) {
        StbSimOptions options = FastBox(m_image);
        options.boxes = 3;
        if (k == 4) {
            options.boxes = 1;
            options.hangUpAfterBytes = 8192;
        }
        boxes.push_back(std::make_unique<BoxRunner>(std::move(options)));
        ASSERT_TRUE(boxes.back()->Opened()) << boxes.back()->OpenError();
        PointLink(Slot(k), boxes.back()->SlavePath());
        boxes.back()->Start();
    }
    const std::string report = m_dir.File("boxes.jsonl");
    const std::string logs = m_dir.File("logs");
    std::filesystem::create_directory(logs);
    ChildProcess station(
        Station(4, image, {"--loop", "--count", "3", "--report", report, "--log-dir", logs}));

    // The fourth box hangs up: its adapter is gone for a while, then a new one sits behind the
    // same link, as a replugged adapter behind /dev/serial/by-path/... would.
    EXPECT_TRUE(boxes[3]->Join().ok);
    std::filesystem::remove(Slot(4));
    ASSERT_TRUE(station.WaitForStderr("port lost")) << station.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    StbSimOptions again = FastBox(m_image);
    again.boxes = 2;
    BoxRunner replugged(std::move(again));
    ASSERT_TRUE(replugged.Opened()) << replugged.OpenError();
    replugged.Start();
    PointLink(Slot(4), replugged.SlavePath());

    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 1) << station.Stderr();
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(boxes[k]->Join().ok);
    }
    EXPECT_TRUE(replugged.Join().ok);

    // Twelve whole records: one failure (the hang-up, once, however often the gone adapter was
    // tried), three boxes per slot.
    const std::vector<JsonObject> records = Records(report);
    ASSERT_EQ(records.size(), 12u) << ReadBytes(report);
    int failed = 0;
    std::map<std::string, int> perSlot;
    for (const JsonObject& r : records) {
        ++perSlot[r.at("slot").text];
        if (r.at("result").text != "pass") {
            ++failed;
            EXPECT_EQ(r.at("slot").text, Slot(4));
            EXPECT_TRUE(r.at("reason").text.starts_with("port lost")) << r.at("reason").text;
        }
    }
    EXPECT_EQ(failed, 1);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(perSlot[Slot(k)], 3) << Slot(k);
        const std::pair<int, int> expected = k == 4 ? std::pair(2, 1) : std::pair(3, 0);
        EXPECT_EQ(TallyOf(station.Stderr(), Slot(k)), expected) << station.Stderr();
    }
    EXPECT_EQ(TallyOf(station.Stderr(), "total"), std::pair(11, 1)) << station.Stderr();

    // One log file per box, its verdict in its name, no half-written file left.
    int passLogs = 0;
    int failLogs = 0;
    std::map<std::string, std::set<std::string>> portsNamed;  // slot -> "Connected COMn" seen
    for (const auto& item : std::filesystem::directory_iterator(logs)) {
        const std::string name = item.path().filename().string();
        const std::string text = ReadBytes(item.path().string());
        const std::size_t connected = text.find("Connected COM");
        if (connected != std::string::npos) {
            portsNamed[name.substr(0, name.find("_2"))].insert(
                text.substr(connected, text.find(' ', connected + 10) - connected));
        }
        EXPECT_FALSE(name.starts_with(".")) << name;
        passLogs += name.ends_with("_PASS.log");
        failLogs += name.ends_with("_FAIL.log");
        EXPECT_NE(ReadBytes(item.path().string()).find(kPleaseConnect), std::string::npos) << name;
    }
    EXPECT_EQ(passLogs, 11);
    EXPECT_EQ(failLogs, 1);
    // Each slot's log names a port of its own, always the same one.
    std::set<std::string> distinct;
    for (const auto& [slot, ports] : portsNamed) {
        EXPECT_EQ(ports.size(), 1u) << slot;
        distinct.insert(ports.begin(), ports.end());
    }
    EXPECT_EQ(portsNamed.size(), 4u);
    EXPECT_EQ(distinct.size(), 4u);
}

TEST_F(StationTest, SilentBoxAndBoxThatStopsReadingFailWithTheirReasonsWhileOthersPass) {
    const std::string image = MakeImage(70000);
    std::vector<std::unique_ptr<BoxRunner>> boxes;
    for (int k = 1; k <= 4; ++k) {
        StbSimOptions options = FastBox(m_image);
        if (k == 3) {
            options.silentAfterBytes = 8192;
        } else if (k == 4) {
            options.stopReadingAfterBytes = 8192;
        }
        boxes.push_back(std::make_unique<BoxRunner>(std::move(options)));
        ASSERT_TRUE(boxes.back()->Opened()) << boxes.back()->OpenError();
        PointLink(Slot(k), boxes.back()->SlavePath());
        boxes.back()->Start();
    }
    const std::string report = m_dir.File("boxes.jsonl");
    ChildProcess station(Station(4, image, {"--timeout", "2", "--report", report, "--json"}));
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    for (const std::size_t frozen : {2u, 3u}) {
        EXPECT_TRUE(boxes[frozen]->EndsWithin(std::chrono::seconds(20)))
            << "a frozen box ends once the station lets go of its port: box " << frozen + 1;
        boxes[frozen]->Stop();
    }
    for (auto& box : boxes) {
        EXPECT_TRUE(box->Join().ok);
    }
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 1) << station.Stderr();

    std::map<std::string, JsonObject> bySlot;
    for (JsonObject& r : Records(report)) {
        bySlot[r.at("slot").text] = std::move(r);
    }
    ASSERT_EQ(bySlot.size(), 4u) << ReadBytes(report);
    EXPECT_EQ(bySlot[Slot(1)].at("result").text, "pass");
    EXPECT_EQ(bySlot[Slot(2)].at("result").text, "pass");
    EXPECT_EQ(bySlot[Slot(3)].at("reason").text, "box silent for 2 s");
    EXPECT_TRUE(bySlot[Slot(4)].at("reason").text.starts_with("box stopped reading at"))
        << bySlot[Slot(4)].at("reason").text;

    // The events for the line: each box started, and ended carrying the very record the
    // report holds.
    const std::string events = station.Stdout();
    EXPECT_EQ(CountOf(events, "{\"event\":\"started\""), 4) << events;
    EXPECT_EQ(CountOf(events, "{\"event\":\"passed\""), 2) << events;
    EXPECT_EQ(CountOf(events, "{\"event\":\"failed\""), 2) << events;
    for (const std::string& line : ReportLines(ReadBytes(report))) {
        EXPECT_NE(events.find(",\"record\":" + line + "}\n"), std::string::npos) << line;
    }
}

TEST_F(StationTest, SigtermMidRunStopsEverySlotCleanlyWithItsRecordAndTheTally) {
    const std::string image = MakeImage(300000);
    std::vector<std::unique_ptr<BoxRunner>> boxes;
    for (int k = 1; k <= 2; ++k) {
        StbSimOptions options = FastBox(m_image);
        options.lineBytesPerSecond = 11520;  // paced: the run is still going at the signal
        boxes.push_back(std::make_unique<BoxRunner>(std::move(options)));
        ASSERT_TRUE(boxes.back()->Opened()) << boxes.back()->OpenError();
        PointLink(Slot(k), boxes.back()->SlavePath());
        boxes.back()->Start();
    }
    const std::string report = m_dir.File("boxes.jsonl");
    const std::string tmp = m_dir.File("tmp");
    std::filesystem::create_directory(tmp);
    ChildProcess station(Station(2, image, {"--loop", "--report", report}), {"TMPDIR=" + tmp});
    ASSERT_TRUE(station.WaitForStderr("box started", 2)) << station.Stderr();
    station.Signal(SIGTERM);
    const ChildProcess::End end = station.Wait(std::chrono::seconds(20));
    for (auto& box : boxes) {
        box->Stop();
        box->Join();
    }
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 143) << station.Stderr();
    const std::vector<JsonObject> records = Records(report);
    ASSERT_EQ(records.size(), 2u) << ReadBytes(report);
    for (const JsonObject& r : records) {
        EXPECT_EQ(r.at("reason").text, "stopped by the operator");
        EXPECT_EQ(r.at("result").text, "aborted");
    }
    // Aborted boxes are neither passed nor failed.
    EXPECT_EQ(TallyOf(station.Stderr(), "total"), std::pair(0, 0)) << station.Stderr();
    // Every slot's process has ended and the station's temporary folder is gone.
    EXPECT_TRUE(std::filesystem::is_empty(tmp));
}

// A report that cannot take a record: the verdict line says so, no slot takes a new box, the
// boxes in flight finish, and the station ends with 8.
TEST_F(StationTest, ARecordThatCannotBeWrittenEndsTheStationGentlyWithStatus8) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string image = MakeImage(20000);
    std::vector<std::unique_ptr<BoxRunner>> boxes;
    for (int k = 1; k <= 2; ++k) {
        StbSimOptions options = FastBox(m_image);
        options.boxes = 3;
        boxes.push_back(std::make_unique<BoxRunner>(std::move(options)));
        ASSERT_TRUE(boxes.back()->Opened()) << boxes.back()->OpenError();
        PointLink(Slot(k), boxes.back()->SlavePath());
        boxes.back()->Start();
    }
    ChildProcess station(Station(2, image, {"--loop", "--report", "/dev/full"}));
    const ChildProcess::End end = station.Wait(std::chrono::seconds(30));
    for (auto& box : boxes) {
        box->Stop();
        box->Join();
    }
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 8) << station.Stderr();
    const std::string err = station.Stderr();
    EXPECT_NE(err.find(": PASS in "), std::string::npos) << err;
    EXPECT_NE(err.find(", record not written: /dev/full: write: No space left on device\n"),
              std::string::npos)
        << err;
    // At most the box each slot had in hand when the first record failed: no third box.
    const auto [passed, failed] = TallyOf(err, "total");
    EXPECT_GE(passed, 1) << err;
    EXPECT_LE(passed, 4) << err;
    EXPECT_EQ(failed, 0) << err;
}

TEST_F(StationTest, OnATerminalTheTableIsRedrawnInPlaceAndWithTermDumbEachEventIsALine) {
    const std::string image = MakeImage(20000);
    for (const std::string term : {"xterm", "dumb"}) {
        std::vector<std::unique_ptr<BoxRunner>> boxes;
        for (int k = 1; k <= 2; ++k) {
            boxes.push_back(std::make_unique<BoxRunner>(FastBox(m_image)));
            ASSERT_TRUE(boxes.back()->Opened());
            PointLink(Slot(k), boxes.back()->SlavePath());
            boxes.back()->Start();
        }
        Pty terminal;
        ChildProcess station(Station(2, image, {}), {"TERM=" + term}, terminal.SlaveFd(),
                             terminal.MasterFd());
        terminal.ReleaseSlave();
        const ChildProcess::End end = station.Wait(std::chrono::seconds(30));
        for (auto& box : boxes) {
            EXPECT_TRUE(box->Join().ok);
        }
        ASSERT_TRUE(end.exited);
        EXPECT_EQ(end.status, 0) << station.Stdout();
        const std::string shown = station.Stdout();  // the terminal's one stream
        EXPECT_EQ(TallyOf(shown, "total"), std::pair(2, 0)) << shown;
        if (term == "xterm") {
            // The header is drawn again after moving back up over the table each time.
            EXPECT_GE(CountOf(shown, "\r\x1b[3A"), 1) << shown;
            EXPECT_EQ(CountOf(shown, "SLOT                             STATE"),
                      CountOf(shown, "\r\x1b[3A") + 1)
                << shown;
            EXPECT_EQ(CountOf(shown, ": box started"), 0) << shown;
        } else {
            EXPECT_EQ(CountOf(shown, "\x1b"), 0) << shown;
            EXPECT_EQ(CountOf(shown, ": box started"), 2) << shown;
            EXPECT_EQ(CountOf(shown, ": PASS in "), 2) << shown;
        }
    }
}

TEST_F(StationTest, TheSamePortTwiceIsAUsageError) {
    const std::string image = MakeImage(1000);
    BoxRunner box(FastBox(m_image));
    ASSERT_TRUE(box.Opened());
    PointLink(Slot(1), box.SlavePath());
    PointLink(Slot(2), box.SlavePath());
    // COM3 given as "COM3" and "com3" is in ReasonLineTest.
    for (const auto& ports :
         std::vector<std::pair<std::string, std::string>>{{Slot(1), Slot(1)}, {Slot(1), Slot(2)}}) {
        ChildProcess station({ProgramPath("stavel"), "-p", ports.first, "-p", ports.second, "-i",
                              image, "--ini", IniPath()});
        const ChildProcess::End end = station.Wait();
        ASSERT_TRUE(end.exited);
        EXPECT_EQ(end.status, 2) << ports.first << " " << ports.second;
        EXPECT_NE(station.Stderr().find("is given twice"), std::string::npos) << station.Stderr();
    }
}

}  // namespace
