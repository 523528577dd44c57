// Retries, power and slots taken out, in memory: which failures are tried again and how often,
// the power cycle between two attempts, a record per attempt tied to the first, a box counted
// once by its final attempt with both yields, a retry whose box never begins, a power switch
// that fails, and a slot taken out after its boxes failed in a row and put back.

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

#include "record/BoxRecordCodec.h"
#include "slot/ExitStatus.h"
#include "station/Station.h"
#include "tests/station/FakeClockStation.h"
#include "tests/station/HandSwitches.h"
#include "tests/station/MemoryTransport.h"
#include "tests/support/files/TempDir.h"

namespace {

using Kind = DownMessage::Kind;

BoxRecord Attempt(const std::string& reasonCode, int attempt = 1) {
    BoxRecord r;
    r.result = reasonCode == "passed" ? BoxResult::Pass : BoxResult::Fail;
    r.reasonCode = reasonCode;
    r.attempt = attempt;
    return r;
}

TEST(RetryPolicy, OnlyTheNamedReasonsAreTriedAgainAsOftenAsAllowed) {
    const RetryPolicy policy{2, {"box-stalled", "port-lost"}, 0};
    EXPECT_TRUE(RetryFollows(policy, Attempt("box-stalled"), true, true));
    EXPECT_TRUE(RetryFollows(policy, Attempt("box-stalled", 2), true, true));
    EXPECT_FALSE(RetryFollows(policy, Attempt("box-stalled", 3), true, true)) << "2 retries";
    EXPECT_FALSE(RetryFollows(policy, Attempt("box-silent"), true, true)) << "not named";
    EXPECT_FALSE(RetryFollows(policy, Attempt("passed"), true, true));
    EXPECT_FALSE(RetryFollows(policy, Attempt("port-lost"), true, false)) << "its port is gone";
    EXPECT_FALSE(RetryFollows(policy, Attempt("box-stalled"), false, true)) << "the slot ends";
    BoxRecord stopped = Attempt("box-stalled");
    stopped.result = BoxResult::Aborted;
    EXPECT_FALSE(RetryFollows(policy, stopped, true, true)) << "the operator stopped it";
    EXPECT_FALSE(RetryFollows(RetryPolicy{}, Attempt("box-stalled"), true, true));

    FailRun run;
    const RetryPolicy takeOut{0, {}, 2};
    EXPECT_FALSE(run.Count(takeOut, Attempt("box-silent")));
    EXPECT_FALSE(run.Count(takeOut, Attempt("passed"))) << "a pass ends the run";
    EXPECT_FALSE(run.Count(takeOut, Attempt("box-silent")));
    EXPECT_TRUE(run.Count(takeOut, Attempt("box-silent")));
    EXPECT_EQ(TakenOutText(run.inRow), "taken out: 2 boxes failed in a row: check the fixture");

    EXPECT_EQ(FirstPassYieldOf(3, 4, 1), 0.6);
    EXPECT_EQ(YieldOf(4, 1), 0.8);
    EXPECT_FALSE(FirstPassYieldOf(0, 0, 0));
    SlotStatus status;
    LastVerdict second = VerdictOf(Attempt("passed", 2));
    CountVerdict(status, VerdictOf(Attempt("passed")));
    CountVerdict(status, second);
    EXPECT_EQ(status.passes, 2);
    EXPECT_EQ(status.firstPasses, 1);
}

struct HeardRetry final : StationObserver {
    std::vector<std::string> messages;
    std::vector<BoxRecord> records;
    std::vector<std::string> said;
    std::vector<SlotStatus> slots;
    void OnMessage(const std::string& text) override { messages.push_back(text); }
    void OnBoxJudged(const std::string&, const BoxRecord& record, const std::string& s,
                     const std::string&) override {
        records.push_back(record);
        said.push_back(s);
    }
    void OnSlots(const std::vector<SlotStatus>& all) override { slots = all; }
    int Said(const std::string& start) const {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(),
                                              [&](const auto& m) { return m.starts_with(start); }));
    }
};

class RetryTest : public FakeClockStation {
  protected:
    // One box a slot, made on the rack.
    StationConfig Config(int slots) {
        StationConfig config = FakeClockStation::Config(slots);
        config.count = 1;
        config.made.job = "rack";
        return config;
    }
    void Listen() {
        station->Listen(std::chrono::milliseconds(0));
        station->TakeAsks();
    }
    // A box on the slot begins, and ends as `record` says.
    static void Box(MemoryTransport::Peer& peer, const std::string& id, const std::string& code,
                    std::optional<std::string> boxId = std::nullopt) {
        DownloadStarted started;
        started.imagePath = "/srv/fw.sdl";
        started.imageSize = 65536;
        started.portName = "COM5";
        peer.Event(started);
        peer.Event(FirstFrameSeen{});
        BoxRecord record = Attempt(code);
        record.id = id;
        record.slot = "A1";
        record.reason = code == "passed" ? "" : code;
        record.boxId = std::move(boxId);
        record.start = record.end = *FromIsoUtcMillis("2026-12-07T02:31:07.120Z");
        peer.Say(RecordMessage(record));
        peer.Event(
            DownloadEnded{code == "passed" ? EndReason::Passed : EndReason::BoxStalled, {}, {}});
    }
    static int Finishes(const MemoryTransport::Peer& peer) {
        int n = 0;
        for (const DownMessage& m : peer.Sent()) {
            n += m.kind == Kind::Finish ? 1 : 0;
        }
        return n;
    }

    HandSwitches switches;
    HeardRetry heard;

    // The station holds the test's observer (and switches): it goes first.
    ~RetryTest() override { station.reset(); }
};

TEST_F(RetryTest, ABoxThatStalledIsPowerCycledAndTriedAgainAndCountsOnceByItsFinalAttempt) {
    StationConfig config = Config(2);
    config.retry = RetryPolicy{1, {"box-stalled"}, 0};
    PowerPlan plan;
    plan.offTime = std::chrono::seconds(2);
    config.power = plan;
    config.switches = &switches;
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    using P = std::pair<std::size_t, PowerAction>;
    EXPECT_EQ(switches.asked, (std::vector<P>{{0, PowerAction::On}, {1, PowerAction::On}}));
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    ASSERT_EQ(a1.Sent()[1].kind, Kind::Config);
    EXPECT_TRUE(a1.Sent()[1].config.loop);
    EXPECT_EQ(a1.Sent()[1].config.count, 0) << "the station counts boxes, not attempts";
    switches.Finish(0, PowerAction::On);
    switches.Finish(1, PowerAction::On);
    a1.Hello();
    a2.Hello();
    Box(a1, "first", "box-stalled", "SN7");
    Box(a2, "other", "passed");
    Listen();
    ASSERT_EQ(heard.records.size(), 2u);
    EXPECT_EQ(heard.records[0].attempt, 1);
    EXPECT_FALSE(heard.records[0].final);
    EXPECT_FALSE(heard.records[0].retryOf);
    EXPECT_EQ(heard.said[0], "box-stalled, box SN7; attempt 1, tried again");
    EXPECT_TRUE(heard.records[1].final);
    EXPECT_EQ(Finishes(a1), 0) << "its box is not done";
    EXPECT_EQ(Finishes(a2), 1) << "its one box is done";
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::Off}));

    // Off for the plan's off time, then on; then the box begins again and passes.
    switches.Finish(0, PowerAction::Off);
    Listen();
    Advance(std::chrono::seconds(1));
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::Off})) << "not on before its time";
    Advance(std::chrono::seconds(1));
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::On}));
    switches.Finish(0, PowerAction::On);
    Listen();
    Box(a1, "second", "passed");
    Listen();
    ASSERT_EQ(heard.records.size(), 3u);
    const BoxRecord& retried = heard.records[2];
    EXPECT_EQ(retried.attempt, 2);
    EXPECT_TRUE(retried.final);
    EXPECT_EQ(retried.retryOf, "first");
    EXPECT_EQ(retried.boxId, "SN7") << "the same box in every attempt";
    EXPECT_EQ(Finishes(a1), 1);
    // The slots were told each result, and the report holds every attempt in order.
    int told = 0;
    for (const DownMessage& m : a1.Sent()) {
        told += m.kind == Kind::Input && m.input.kind == SlotInput::Kind::PowerCycled ? 1 : 0;
    }
    EXPECT_EQ(told, 3);
    const std::string report = ReadBytes(dir.File("boxes.jsonl"));
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 3);
    EXPECT_NE(report.find("\"attempt\":2,\"final\":true,\"retry_of\":\"first\""),
              std::string::npos);
    ASSERT_EQ(heard.slots.size(), 2u);
    const SlotStatus& s1 = heard.slots[0];
    EXPECT_EQ(s1.passes, 1);
    EXPECT_EQ(s1.fails, 0);
    EXPECT_EQ(s1.firstPasses, 0);
    EXPECT_EQ(heard.slots[1].firstPasses, 1);
    a1.Exit(0);
    a2.Exit(0);
    Listen();
    EXPECT_TRUE(station->Done());
    EXPECT_EQ(ExitStatusFor(station->End()), kExitPass);
}

TEST_F(RetryTest, ARetryWhoseBoxNeverBeginsEndsSilentAndAFailedSwitchIsSaidOnce) {
    StationConfig config = Config(1);
    config.retry = RetryPolicy{2, {"box-stalled"}, 0};
    PowerPlan plan;
    plan.onStart = false;
    plan.offAfter = PowerOffAfter::Fail;
    config.power = plan;
    config.switches = &switches;
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    EXPECT_TRUE(switches.asked.empty()) << "on_start = false";
    MemoryTransport::Peer& a1 = *slots_.At(0);
    a1.Hello();
    Box(a1, "first", "box-stalled");
    Listen();
    switches.Finish(0, PowerAction::Off,
                    PowerOutcome{false, "uhubctl did not end within 10 s; killed"});
    Listen();
    EXPECT_EQ(heard.Said("A1: power control failed: uhubctl did not end within 10 s; killed; "
                         "no box is counted for it"),
              1);
    ASSERT_FALSE(heard.slots.empty());
    EXPECT_EQ(heard.slots[0].state, SlotState::PowerFailed);
    EXPECT_EQ(heard.slots[0].hint, "power control failed: uhubctl did not end within 10 s; killed");
    EXPECT_EQ(heard.slots[0].fails, 0) << "no box is counted for it";
    // The retry goes on without power control: at most the silence bound, then its own FAIL.
    Advance(std::chrono::seconds(29));
    EXPECT_EQ(heard.records.size(), 1u);
    Advance(std::chrono::seconds(1));
    ASSERT_EQ(heard.records.size(), 2u);
    const BoxRecord& silent = heard.records[1];
    EXPECT_EQ(silent.reasonCode, "box-silent");
    EXPECT_EQ(silent.reason, "box silent for 30 s: it did not start again");
    EXPECT_EQ(silent.attempt, 2);
    EXPECT_TRUE(silent.final) << "though a retry is left, a box that never began is final";
    EXPECT_EQ(silent.retryOf, "first");
    EXPECT_EQ(heard.slots[0].fails, 1);
    EXPECT_EQ(Finishes(a1), 1);
    // off_after = "fail": the failed box is left off; a second failure is said once only.
    using P = std::pair<std::size_t, PowerAction>;
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::Off}));
    switches.Finish(0, PowerAction::Off,
                    PowerOutcome{false, "uhubctl did not end within 10 s; killed"});
    Listen();
    EXPECT_EQ(heard.Said("A1: power control failed"), 1);
}

TEST_F(RetryTest, ASlotWhoseBoxesFailInARowIsTakenOutWhileTheOthersGoOnAndIsPutBack) {
    StationConfig config = Config(2);
    config.count = 0;  // until stopped
    config.retry = RetryPolicy{0, {}, 2};
    BeginGreeted(config, &heard);
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    Box(a1, "1", "box-stalled");
    Box(a2, "2", "passed");
    Box(a1, "3", "box-stalled");
    Listen();
    EXPECT_EQ(heard.Said("A1: taken out: 2 boxes failed in a row: check the fixture"), 1);
    EXPECT_EQ(Finishes(a1), 1);
    EXPECT_EQ(Finishes(a2), 0) << "the others go on";
    EXPECT_EQ(heard.slots[0].state, SlotState::TakenOut);
    a1.Exit(1);
    Listen();
    Advance(std::chrono::seconds(2));
    EXPECT_EQ(slots_.Starts(0), 1u) << "a slot taken out is not started again";
    EXPECT_FALSE(station->Done());
    EXPECT_FALSE(station->AskPutBack("B9"));
    ASSERT_TRUE(station->AskPutBack("A1"));
    Listen();
    EXPECT_EQ(slots_.Starts(0), 2u);
    EXPECT_EQ(heard.Said("A1: put back into service"), 1);
    // Taken out by the operator, both: the station ends with its own status.
    MemoryTransport::Peer& again = *slots_.At(0, 1);
    ASSERT_TRUE(station->AskTakeOut("A1"));
    ASSERT_TRUE(station->AskTakeOut("A2"));
    Listen();
    again.Exit(0);
    a2.Exit(0);
    Listen();
    EXPECT_TRUE(station->Done());
    EXPECT_EQ(ExitStatusFor(station->End()), kExitAllTakenOut);
}

TEST_F(RetryTest, AFailedBoxIsLeftOffUnlessItsSlotGoesOnAndEveryTakenOutIsStatus11) {
    StationConfig config = Config(1);
    config.count = 2;
    PowerPlan plan;
    plan.onStart = false;
    plan.offAfter = PowerOffAfter::Fail;
    plan.offTime = std::chrono::seconds(1);
    config.power = plan;
    config.switches = &switches;
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    a1.Hello();
    using P = std::pair<std::size_t, PowerAction>;
    Box(a1, "1", "box-silent");
    Listen();
    EXPECT_EQ(switches.asked, (std::vector<P>{{0, PowerAction::Off}}));
    switches.Finish(0, PowerAction::Off);
    Listen();
    Advance(std::chrono::seconds(1));
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::On})) << "its next box needs power";
    switches.Finish(0, PowerAction::On);
    Listen();
    Advance(std::chrono::seconds(60));
    EXPECT_EQ(heard.records.size(), 1u) << "no retry is waited for: a new box is";
    Box(a1, "2", "box-silent");
    Listen();
    switches.Finish(0, PowerAction::Off);
    Listen();
    Advance(std::chrono::seconds(5));
    EXPECT_EQ(switches.asked.back(), (P{0, PowerAction::Off})) << "the last box is left off";
    EXPECT_EQ(switches.asked.size(), 3u);

    // Every slot taken out is a status of its own, below a slot that could not serve and a
    // unit pool that gave none.
    EXPECT_EQ(ExitStatusFor(StationEnd{.someFailed = true, .allTakenOut = true}), kExitAllTakenOut);
    EXPECT_EQ(
        ExitStatusFor(StationEnd{.unservable = true, .someFailed = true, .allTakenOut = true}),
        kExitUsage);
    EXPECT_EQ(ExitStatusFor(
                  StationEnd{.recordNotWritten = true, .someFailed = true, .allTakenOut = true}),
              kExitRecordNotWritten);
    EXPECT_EQ(ExitStatusFor(StationEnd{.someFailed = true, .unitPool = true, .allTakenOut = true}),
              kExitUnitPool);
}

}  // namespace
