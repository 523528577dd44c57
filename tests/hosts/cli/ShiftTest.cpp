// A shift without a minder, end to end against simulated boxes: the silence bound tells a box
// that only talks from a silent one, alone and in a station; a box that prints while it
// programs its flash is never cut off; the operator's first Ctrl-C lets the boxes in flight
// finish and the second aborts them; a slot process that stops is killed by the station's
// watchdog and its box fails.

#include <signal.h>

#include <filesystem>
#include <memory>
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
    ChildProcess station(Station({"S1=" + box->SlavePath()}, {"--loop", "--count", "1", "--json"}));
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
    box->Stop();
}

}  // namespace
