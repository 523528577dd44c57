// A station end to end: several simulated boxes at once, each on a pseudo-terminal reached
// through a symlink the test controls (as /dev/serial/by-path/... would be), served by one
// `stavel` with several labelled --port values (A1=...): its report, its --json events, its
// per-box logs and tally, all naming the slots by their labels, and a record that cannot be
// written (status 8).

#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <thread>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

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
    static std::string Label(int k) { return "A" + std::to_string(k); }

    // A box behind each slot's link, started: three boxes a slot, the fourth slot's one box
    // hanging up after 8192 bytes.
    void StartBoxes(int slots) {
        for (int k = 1; k <= slots; ++k) {
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
    }

    std::vector<std::string> Station(int slots, const std::string& image,
                                     std::vector<std::string> extra) const {
        std::vector<std::string> args{ProgramPath("stavel")};
        for (int k = 1; k <= slots; ++k) {
            args.push_back("--port");
            args.push_back(Label(k) + "=" + Slot(k));
        }
        args.insert(args.end(), {"--image", image, "--ini", IniPath()});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    // The tally's figures for `slot`: passed, failed.
    static std::pair<int, int> TallyOf(const std::string& stderrText, const std::string& slot) {
        const std::string tally =
            stderrText.substr(std::min(stderrText.find("stavel: tally\n"), stderrText.size()));
        std::smatch m;
        if (!std::regex_search(tally, m, std::regex("\n  " + slot + " +([0-9]+) +([0-9]+) "))) {
            return {-1, -1};
        }
        return {std::stoi(m[1]), std::stoi(m[2])};
    }

    std::vector<std::unique_ptr<BoxRunner>> boxes;
};

TEST_F(StationTest, FourSlotsOfThreeBoxesWithOneHangingUpAndItsAdapterComingBack) {
    const std::string image = MakeImage(20000);
    ASSERT_NO_FATAL_FAILURE(StartBoxes(4));
    const std::string report = m_dir.File("boxes.jsonl");
    const std::string logs = m_dir.File("logs");
    std::filesystem::create_directory(logs);
    ChildProcess station(Station(
        4, image, {"--loop", "--count", "3", "--report", report, "--log-dir", logs, "--json"}));

    // The fourth box hangs up: its adapter is gone for a while, then a new one sits behind the
    // same link, as a replugged adapter behind /dev/serial/by-path/... would.
    EXPECT_TRUE(boxes[3]->Join().ok);
    std::filesystem::remove(Slot(4));
    ASSERT_TRUE(station.WaitForStderr("port lost")) << station.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
    const std::vector<Json> records = Records(report);
    ASSERT_EQ(records.size(), 12u) << ReadBytes(report);
    int failed = 0;
    std::map<std::string, int> perSlot;
    for (const Json& r : records) {
        ++perSlot[JsonStringAt(r, "slot")];
        if (JsonStringAt(r, "result") != "pass") {
            ++failed;
            EXPECT_EQ(JsonStringAt(r, "slot"), Label(4));
            EXPECT_TRUE(JsonStringAt(r, "reason").starts_with("port lost")) << r;
        }
    }
    EXPECT_EQ(failed, 1);
    // The events for the line: each box ended carrying the very record the report holds.
    const std::string events = station.Stdout();
    EXPECT_EQ(CountOf(events, "{\"event\":\"passed\""), 11) << events;
    EXPECT_EQ(CountOf(events, "{\"event\":\"failed\""), 1) << events;
    for (const std::string& line : ReportLines(report)) {
        EXPECT_NE(events.find(",\"record\":" + line + "}\n"), std::string::npos) << line;
    }
    for (int k = 1; k <= 4; ++k) {
        EXPECT_EQ(perSlot[Label(k)], 3) << Label(k);
        const std::pair<int, int> expected = k == 4 ? std::pair(2, 1) : std::pair(3, 0);
        EXPECT_EQ(TallyOf(station.Stderr(), Label(k)), expected) << station.Stderr();
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
        EXPECT_TRUE(name.starts_with("A")) << "named by the slot's label: " << name;
        passLogs += name.ends_with("_PASS.log");
        // Each file ends with its box's verdict and reason, which the log view never shows.
        const std::string last = text.substr(text.rfind("\r\n", text.size() - 3) + 2);
        EXPECT_TRUE(last.starts_with("stavel: A") &&
                    last.find(name.ends_with("_PASS.log") ? ": PASS " : ": FAIL port lost at ") !=
                        std::string::npos)
            << name << ": " << last;
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

// A report that cannot take a record: the verdict line says so, no slot takes a new box, the
// boxes in flight finish, and the station ends with 8.
TEST_F(StationTest, ARecordThatCannotBeWrittenEndsTheStationGentlyWithStatus8) {
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    const std::string image = MakeImage(20000);
    ASSERT_NO_FATAL_FAILURE(StartBoxes(2));
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

}  // namespace
