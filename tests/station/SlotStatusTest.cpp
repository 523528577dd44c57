// A slot's status through what happens to it, in memory (SlotFeed's rules), and how every view
// shows it (SlotLook): a verdict stays, with its reason, until the next box begins, whatever the
// port does meanwhile; the port's problem and a talking box's hint are kept apart from it.

#include <gtest/gtest.h>

#include "station/SlotFeed.h"
#include "station/SlotLook.h"

namespace {

SysFailure Failure(SysStatus status, const char* call, int err) {
    return SysFailure(SysResult{status, call, err}, "/dev/pts/1");
}

BoxRecord Record(BoxResult result, const std::string& reason, const std::string& code) {
    BoxRecord r;
    r.result = result;
    r.reason = reason;
    r.reasonCode = code;
    r.boxId = "SN-42";
    return r;
}

void End(SlotStatus& status, const BoxRecord& record, SlotState state) {
    CountEnd(status, SessionEnd{DownloadEnded{}, record});
    ApplyState(status, state, {});
}

TEST(SlotStatus, AVerdictOutlivesItsPortUntilTheNextBoxBegins) {
    SlotStatus s;
    s.slot = "A1";
    ApplyState(s, SlotState::WaitingForBox, {});
    ApplyState(s, SlotState::Loading, {});
    s.figures.percent = 23;
    End(s, Record(BoxResult::Fail, "port lost at 23 % (5.2 s)", "port-lost"), SlotState::Failed);
    // The box is unplugged: the port goes, then cannot be opened again.
    ApplyState(s, SlotState::PortAbsent, Failure(SysStatus::Lost, "read", EIO));
    ASSERT_TRUE(s.last);
    EXPECT_EQ(s.last->result, BoxResult::Fail);
    EXPECT_EQ(s.last->reason, "port lost at 23 % (5.2 s)");
    EXPECT_EQ(s.last->reasonCode, "port-lost");
    ASSERT_TRUE(s.port);
    EXPECT_EQ(s.port->trouble, PortTrouble::Lost);
    EXPECT_EQ(s.figures.percent, 0) << "no box in hand: its progress is in its verdict";
    SlotLook look = LookOf(s);
    EXPECT_EQ(look.symbol + " " + look.word, "\u2718 FAIL");
    EXPECT_EQ(look.tone, SlotTone::Fail);
    EXPECT_EQ(look.detail, "port lost at 23 % (5.2 s)");
    EXPECT_EQ(look.boxId, "box SN-42");
    EXPECT_EQ(look.note, "\u26A0 port lost: /dev/pts/1: read: Input/output error");
    EXPECT_FALSE(look.bar);

    ApplyState(s, SlotState::PortAbsent, Failure(SysStatus::NotFound, "open", ENOENT));
    look = LookOf(s);
    EXPECT_EQ(look.word, "FAIL");
    EXPECT_EQ(look.note, "\u26A0 no port: /dev/pts/1: open: No such file or directory");
    ApplyState(s, SlotState::PortBusy, Failure(SysStatus::Busy, "open", EBUSY));
    EXPECT_EQ(LookOf(s).note.rfind("\u26A0 port busy: /dev/pts/1: open: ", 0), 0u);

    // The port is back: the verdict stays while the slot waits, and while the box that passed
    // (or a new one) only talks; the port's problem is gone.
    ApplyState(s, SlotState::WaitingForBox, {});
    EXPECT_FALSE(s.port);
    EXPECT_EQ(LookOf(s).note, "ready for the next box");
    ApplyState(s, SlotState::BoxTalking, {});
    ApplyState(s, SlotState::NoRequest,
               SysFailure(SysResult{SysStatus::TimedOut, "", 0}, "", "is it in download mode?"));
    look = LookOf(s);
    EXPECT_EQ(look.word, "FAIL");
    EXPECT_EQ(look.note, "\u26A0 no request: is it in download mode?");

    // The next box's first frame: the old verdict has been read; its tally stays.
    ApplyState(s, SlotState::Loading, {});
    EXPECT_FALSE(s.last);
    EXPECT_EQ(s.hint, "");
    s.figures.percent = 43;
    s.figures.etaSeconds = 12;
    look = LookOf(s);
    EXPECT_EQ(look.symbol + " " + look.word, "\u25B6 LOADING");
    EXPECT_EQ(look.progress, "43 %, 0:12 left");
    EXPECT_EQ(look.note, "");
    EXPECT_EQ(look.counts, "0 passed, 1 failed");
    // The run's warning shows beneath, while nothing more pressing does.
    s.warning = "unit pool low: mac has 4 value(s) left (warn_below = 5)";
    EXPECT_EQ(LookOf(s).note, "\u26A0 unit pool low: mac has 4 value(s) left (warn_below = 5)");
    End(s, Record(BoxResult::Pass, "", "passed"), SlotState::Passed);
    EXPECT_EQ(LookOf(s).detail, "") << "a pass has no reason";
    EXPECT_EQ(LookOf(s).note, "\u26A0 unit pool low: mac has 4 value(s) left (warn_below = 5)");
    EXPECT_EQ(LookOf(s).counts, "1 passed, 1 failed");
    // A pass whose label could not be printed says so on its tile, where it is printed again.
    s.warning.clear();
    BoxRecord unlabelled = Record(BoxResult::Pass, "", "passed");
    unlabelled.label = false;
    End(s, unlabelled, SlotState::Passed);
    EXPECT_EQ(LookOf(s).note, "\u26A0 label not printed: print it again from the slot's menu");
    unlabelled.label = true;
    End(s, unlabelled, SlotState::Passed);
    EXPECT_EQ(LookOf(s).note, "") << "printed";
}

TEST(SlotStatus, ATalkingBoxShowsItsHintAndAStalledBoxHowLong) {
    SlotStatus s;
    // A fresh slot whose port is absent: the state is the word, the port's problem its detail.
    ApplyState(s, SlotState::PortAbsent, Failure(SysStatus::NotFound, "open", ENOENT));
    SlotLook look = LookOf(s);
    EXPECT_EQ(look.word, "NO PORT");
    EXPECT_EQ(look.detail, "/dev/pts/1: open: No such file or directory");
    // A box that talks and never asks, with no verdict before it: NO REQUEST and its hint,
    // not an older reason.
    ApplyState(s, SlotState::WaitingForBox, {});
    ApplyState(
        s, SlotState::NoRequest,
        SysFailure(SysResult{SysStatus::TimedOut, "", 0}, "", "wrong line speed or wrong port?"));
    look = LookOf(s);
    EXPECT_EQ(look.symbol + " " + look.word, "\u26A0 NO REQUEST");
    EXPECT_EQ(look.detail, "wrong line speed or wrong port?");
    ApplyState(s, SlotState::WaitingForBox, {});
    EXPECT_EQ(s.hint, "") << "a hint is for the state that has it";

    ApplyState(s, SlotState::Loading, {});
    s.figures.percent = 25;
    s.figures.stalledSeconds = 6;
    EXPECT_EQ(LookOf(s).progress, "25 %, stalled 6 s");
    ApplyState(s, SlotState::Stopping, {});
    EXPECT_FALSE(s.figures.stalledSeconds) << "a stopping box is not timed";
}

TEST(SlotStatus, AYieldWithNoJudgedBoxIsNone) {
    EXPECT_FALSE(YieldOf(0, 0));
    EXPECT_EQ(YieldOf(3, 1), 0.75);
    EXPECT_EQ(YieldOf(0, 2), 0.0);
    EXPECT_EQ(YieldText(0, 0), "\u2013");
    EXPECT_EQ(YieldText(2, 1), "67%");
    EXPECT_EQ(YieldOf(2'000'000'000, 2'000'000'000), 0.5) << "no overflow";
}

}  // namespace
