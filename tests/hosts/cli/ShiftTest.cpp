// A shift without a minder, end to end against simulated boxes: the silence bound tells a box
// that only talks from a silent one, alone and in a station; a box that prints while it
// programs its flash is never cut off; the operator's first Ctrl-C lets the boxes in flight
// finish and the second aborts them; a slot process that stops is killed by the station's
// watchdog and its box fails; a station killed mid-box has its boxes recorded by its next start.

#include <signal.h>

#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

class ShiftTest : public CliTest {
  protected:
    std::unique_ptr<BoxRunner> Box(StbSimOptions options) {
        auto box = std::make_unique<BoxRunner>(std::move(options));
        EXPECT_TRUE(box->Opened()) << box->OpenError();
        box->Start();
        return box;
    }

    // A box at the line's real pace, so that it is still loading when the test acts.
    StbSimOptions PacedBox() const {
        StbSimOptions options = FastBox(m_image);
        options.lineBytesPerSecond = 11520;
        return options;
    }

    std::vector<std::string> Station(const std::vector<std::string>& slots,
                                     std::vector<std::string> extra) const {
        std::vector<std::string> args{ProgramPath("stavel")};
        for (const std::string& slot : slots) {
            args.insert(args.end(), {"--port", slot});
        }
        args.insert(args.end(), {"--image", m_dir.File("image.sdl"), "--ini", IniPath(), "--report",
                                 ReportPath()});
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
};

// The pids of a station's slot processes: its children on a channel.
std::vector<int> SlotProcesses(pid_t station) {
    std::vector<int> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const int pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0) {
            continue;
        }
        const std::string stat = ReadBytes(entry.path().string() + "/stat");
        const std::size_t afterName = stat.rfind(')');
        if (afterName != std::string::npos && std::atoi(stat.c_str() + afterName + 4) == station &&
            ReadBytes(entry.path().string() + "/cmdline").find("--slot-channel") !=
                std::string::npos) {
            pids.push_back(pid);
        }
    }
    return pids;
}

// Waits until process `pid` is gone or a zombie; false when it still runs after a few seconds.
bool Ended(int pid) {
    for (int i = 0; i < 100; ++i) {
        const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t afterName = stat.rfind(')');
        if (afterName == std::string::npos || stat.compare(afterName, 3, ") Z") == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The files in `folder` whose name starts with `prefix`.
std::vector<std::string> FilesStarting(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(prefix)) {
            names.push_back(it->path().string());
        }
    }
    return names;
}

// Whether what a box that asked for nothing sent was text is judged in memory
// (DownloadControl.SilenceCountsFromTheBoxsLastByteAndATalkingBoxIsToldApart).
TEST_F(ShiftTest, ASingleRunSaysWhyABoxThatAskedForNothingFailed) {
    MakeImage(30000);
    StbSimOptions options = FastBox(m_image);
    options.chatter = StbSimOptions::Chatter::Talk;
    const auto box = Box(std::move(options));
    ChildProcess run(StavelServe(box->SlavePath(), m_dir.File("image.sdl"),
                                 {"--timeout", "1", "--quiet", "--report", ReportPath()}));
    const ChildProcess::End end = run.Wait();
    ASSERT_TRUE(end.exited) << run.Stderr();
    EXPECT_EQ(end.status, 7) << run.Stderr();
    EXPECT_NE(run.Stderr().find("FAIL box talking, no request: is it in download mode?\n"),
              std::string::npos)
        << run.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(JsonWholeAt(records[0], "requests"), 0);
}

TEST_F(ShiftTest, AStationSaysOnceThatABoxOnlyTalksFailsASilentOneAndItsFirstCtrlCEndsTheWait) {
    MakeImage(30000);
    StbSimOptions talking = FastBox(m_image);
    talking.chatter = StbSimOptions::Chatter::Talk;
    const auto talker = Box(std::move(talking));
    // A loader that prints for three seconds while it programs, under a bound of one: it talks,
    // so it is not silent.
    StbSimOptions programming = FastBox(m_image);
    programming.programMs = 3000;
    const auto loader = Box(std::move(programming));
    StbSimOptions freezing = FastBox(m_image);
    freezing.silentAfterBytes = 8192;
    const auto freezer = Box(std::move(freezing));
    ChildProcess station(Station(
        {"T1=" + talker->SlavePath(), "L1=" + loader->SlavePath(), "F1=" + freezer->SlavePath()},
        {"--timeout", "1"}));
    ASSERT_TRUE(station.WaitForStderr("L1: PASS")) << station.Stderr();
    ASSERT_TRUE(station.WaitForStderr("F1: FAIL box silent for 1 s\n")) << station.Stderr();
    ASSERT_TRUE(station.WaitForStderr("T1: box talking, no request: is it in download mode?\n"))
        << station.Stderr();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a bound and more: said once
    // No box in flight: the gentle stop ends the wait at once, and the status follows the
    // verdicts.
    station.Signal(SIGINT);
    const ChildProcess::End end = station.Wait();
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 1) << station.Stderr();
    EXPECT_EQ(CountOf(station.Stderr(), "box talking, no request"), 1) << station.Stderr();
    EXPECT_NE(station.Stderr().find("finishing 0 boxes; Ctrl-C again to stop now\n"),
              std::string::npos)
        << station.Stderr();
    // The talker is no box: the loader's record and the one that fell silent.
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 2u);
    for (const Json& r : records) {
        EXPECT_NE(JsonStringAt(r, "slot"), "T1") << r;
    }
}

TEST_F(ShiftTest, TheFirstCtrlCFinishesTheBoxesInFlightAndTheSecondAbortsThem) {
    MakeImage(40000);  // about 3.5 s a box at the line's pace
    {
        const auto a = Box(PacedBox());
        const auto b = Box(PacedBox());
        ChildProcess station(Station({"A=" + a->SlavePath(), "B=" + b->SlavePath()}, {"--loop"}));
        ASSERT_TRUE(station.WaitForStderr("box started", 2)) << station.Stderr();
        station.Signal(SIGINT);
        ASSERT_TRUE(station.WaitForStderr("finishing 2 boxes; Ctrl-C again to stop now\n"))
            << station.Stderr();
        const ChildProcess::End end = station.Wait();
        ASSERT_TRUE(end.exited) << station.Stderr();
        EXPECT_EQ(end.status, 0) << station.Stderr();
        EXPECT_EQ(CountOf(station.Stderr(), ": PASS in "), 2) << station.Stderr();
        EXPECT_EQ(Records(ReportPath()).size(), 2u) << "no box after the first Ctrl-C";
    }
    std::remove(ReportPath().c_str());
    {
        // One port with --loop: the same gentle first Ctrl-C.
        const auto box = Box(PacedBox());
        ChildProcess run(StavelServe(box->SlavePath(), m_dir.File("image.sdl"),
                                     {"--loop", "--debug", "--quiet", "--report", ReportPath()}));
        ASSERT_TRUE(run.WaitForStdout("Offset=")) << run.Stderr();
        run.Signal(SIGINT);
        const ChildProcess::End end = run.Wait();
        ASSERT_TRUE(end.exited) << run.Stderr();
        EXPECT_EQ(end.status, 0) << run.Stderr();
        EXPECT_NE(run.Stderr().find("stavel: finishing 1 box; Ctrl-C again to stop now\n"),
                  std::string::npos)
            << run.Stderr();
        EXPECT_EQ(Records(ReportPath()).size(), 1u);
    }
    std::remove(ReportPath().c_str());
    const auto a = Box(PacedBox());
    const auto b = Box(PacedBox());
    ChildProcess station(Station({"A=" + a->SlavePath(), "B=" + b->SlavePath()}, {"--loop"}));
    ASSERT_TRUE(station.WaitForStderr("box started", 2)) << station.Stderr();
    station.Signal(SIGINT);
    ASSERT_TRUE(station.WaitForStderr("finishing 2 boxes")) << station.Stderr();
    station.Signal(SIGINT);
    const ChildProcess::End end = station.Wait();
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 130) << station.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 2u) << station.Stderr();
    for (const Json& r : records) {
        EXPECT_EQ(JsonStringAt(r, "result"), "aborted") << r;
        EXPECT_EQ(JsonStringAt(r, "reason"), "stopped by the operator") << r;
    }
}

TEST_F(ShiftTest, AStoppedSlotProcessIsKilledAndItsBoxFails) {
    MakeImage(400000);  // longer than the watchdog's bound at the line's pace
    const auto box = Box(PacedBox());
    // --json: a station of one slot.
    ChildProcess station(Station({"S1=" + box->SlavePath()}, {"--loop", "--count", "1", "--json",
                                                              "--log-dir", m_dir.File("logs")}));
    ASSERT_TRUE(station.WaitForStderr("box started")) << station.Stderr();
    const std::vector<int> slots = SlotProcesses(station.Pid());
    ASSERT_EQ(slots.size(), 1u);
    kill(slots.front(), SIGSTOP);
    const ChildProcess::End end = station.Wait(std::chrono::seconds(40));
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 1) << station.Stderr();
    EXPECT_NE(station.Stderr().find("S1: the slot's process stopped responding and was killed"),
              std::string::npos)
        << station.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(JsonStringAt(records[0], "reason").starts_with("slot process stopped responding"))
        << records[0];
    // Its log, which the killed slot could not close, the station closed under its final name.
    const std::string log = JsonStringAt(records[0], "log_file");
    EXPECT_TRUE(log.ends_with("_FAIL.incomplete.log")) << records[0];
    EXPECT_NE(ReadBytes(log).find("S1 (" + box->SlavePath() +
                                  "): FAIL slot process stopped responding at "),
              std::string::npos)
        << ReadBytes(log);
    EXPECT_FALSE(JsonBoolAt(records[0], "log_complete", true)) << records[0];
    EXPECT_TRUE(FilesStarting(m_dir.File("logs"), ".").empty());
    box->Stop();
}

// Waits until `slots` slots' hidden logs say their port is open and START pressed.
bool WaitListening(const std::string& logs, int slots) {
    for (int i = 0; i < 200; ++i) {
        int listening = 0;
        for (const std::string& file : FilesStarting(logs, ".")) {
            listening += CountOf(ReadBytes(file), kPleaseConnect);
        }
        if (listening >= slots) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// kill -9 of a station mid-box: its slots die with it, and its next start records each box it
// had in flight, once, before it serves; that station's SIGTERM then ends it with its tally and
// leaves no slot behind, though a box on it prints a line that never ends.
TEST_F(ShiftTest, AStationKilledMidBoxLeavesEachBoxOneRecordAndItsNextStopNoSlotBehind) {
    MakeImage(40000);  // about 3.5 s a box at the line's pace
    const std::string logs = m_dir.File("logs");
    const std::string caps = m_dir.File("caps");
    const std::vector<std::string> kept{"--log-dir", logs,       "--capture",
                                        caps,        "--box-id", "Serial number: (\\w+)"};
    const std::vector<std::string> temp{"TMPDIR=" + m_dir.Path()};
    StbSimOptions one = PacedBox();
    one.serial = "SN1";
    StbSimOptions two = PacedBox();
    two.serial = "SN2";
    BoxRunner a(one);
    BoxRunner b(two);
    ASSERT_TRUE(a.Opened() && b.Opened());
    {
        ChildProcess station(Station({"A1=" + a.SlavePath(), "A2=" + b.SlavePath()}, kept), temp);
        // Switched on once both slots listen, so that the station hears their ids.
        ASSERT_TRUE(WaitListening(logs, 2)) << station.Stderr();
        a.Start();
        b.Start();
        ASSERT_TRUE(station.WaitForStderr("box started", 2)) << station.Stderr();
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // figures in the journal
        const std::vector<int> slots = SlotProcesses(station.Pid());
        ASSERT_EQ(slots.size(), 2u);
        station.Signal(SIGKILL);
        station.Wait();
        for (const int pid : slots) {
            EXPECT_TRUE(Ended(pid)) << "a slot outlived its station: " << pid;
        }
    }
    a.Stop();
    b.Stop();
    a.Join();
    b.Join();
    EXPECT_TRUE(Records(ReportPath()).empty());

    StbSimOptions endless = FastBox(m_image);
    endless.chatter = StbSimOptions::Chatter::Endless;
    const auto c = Box(FastBox(m_image));
    const auto d = Box(FastBox(m_image));
    const auto e = Box(endless);
    std::vector<std::string> serve = kept;
    serve.insert(serve.end(), {"--loop", "--json"});
    ChildProcess station(
        Station({"A1=" + c->SlavePath(), "A2=" + d->SlavePath(), "A3=" + e->SlavePath()}, serve),
        temp);
    ASSERT_TRUE(station.WaitForStderr(": PASS in ", 2)) << station.Stderr();
    const std::vector<int> slots = SlotProcesses(station.Pid());
    ASSERT_EQ(slots.size(), 3u);
    station.Signal(SIGTERM);
    const ChildProcess::End end = station.Wait();
    ASSERT_TRUE(end.exited) << station.Stderr();
    EXPECT_EQ(end.status, 143) << station.Stderr();
    const std::string err = station.Stderr();
    EXPECT_NE(err.find("stavel: tally\n"), std::string::npos)
        << "stopped within its grace: " << err;
    for (const int pid : slots) {
        EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(pid))) << pid;
    }
    EXPECT_EQ(CountOf(err, ": FAIL station stopped: no verdict"), 2) << err;
    // The line's software hears of them as of any failed box.
    EXPECT_EQ(CountOf(station.Stdout(), "{\"event\":\"failed\""), 2) << station.Stdout();
    EXPECT_EQ(CountOf(station.Stdout(), "\"reason_code\":\"station-killed\""), 2);

    // Every box once: the two the killed station had in flight, the two this one passed.
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 4u) << ReadBytes(ReportPath());
    std::set<std::string> ids;
    std::set<std::string> killed;
    for (const Json& r : records) {
        ids.insert(JsonStringAt(r, "id"));
        if (JsonStringAt(r, "reason_code") != "station-killed") {
            EXPECT_EQ(JsonStringAt(r, "result"), "pass") << r;
            continue;
        }
        const std::string slot = JsonStringAt(r, "slot");
        killed.insert(slot + " " + JsonStringAt(r, "box_id"));
        EXPECT_EQ(JsonStringAt(r, "reason"), "station stopped: no verdict") << r;
        EXPECT_GT(JsonWholeAt(r, "bytes"), 0) << r;
        EXPECT_FALSE(JsonBoolAt(r, "log_complete", true)) << r;
        const std::string log = JsonStringAt(r, "log_file");
        EXPECT_TRUE(log.starts_with(logs + "/" + slot + "_") &&
                    log.ends_with("_FAIL.incomplete.log"))
            << r;
        EXPECT_TRUE(ReadBytes(log).ends_with(": FAIL station stopped: no verdict, box " +
                                             JsonStringAt(r, "box_id") + "\r\n"))
            << ReadBytes(log);
    }
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_EQ(killed, (std::set<std::string>{"A1 SN1", "A2 SN2"}));
    EXPECT_EQ(FilesStarting(caps, "A1_").size() + FilesStarting(caps, "A2_").size(), 4u);
    // Nothing hidden or temporary is left behind.
    EXPECT_TRUE(FilesStarting(logs, ".").empty());
    EXPECT_TRUE(FilesStarting(caps, ".").empty());
    EXPECT_TRUE(FilesStarting(m_dir.Path(), "stavel-station-").empty());
    EXPECT_FALSE(std::filesystem::exists(ReportPath() + ".in-flight"));
}

}  // namespace
