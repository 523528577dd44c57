// A box's story as the session model tells it, driven through the real dialog with the test as
// the box on a pseudo-terminal: when a box begins and ends, which states a slot passes through,
// and which ends make a record. No program is started.

#include "download/BoxSession.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/app/DialogRig.h"
#include "tests/support/box/StbRequests.h"

namespace {

// Everything the session says, in order.
struct Heard final : BoxSession::Sink {
    std::vector<SlotState> states;
    std::vector<SessionEnd> ends;
    ProgressFigures last;

    void OnSlotState(SlotState state, const SysFailure&) override { states.push_back(state); }
    void OnProgress(const ProgressFigures& figures) override { last = figures; }
    void OnSessionEnded(const SessionEnd& end) override { ends.push_back(end); }
    int Records() const {
        int n = 0;
        for (const SessionEnd& end : ends) {
            n += end.record ? 1 : 0;
        }
        return n;
    }
};

class BoxSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rig.WriteIni("[Gerneral]\r\nCOM Port Number=5\r\n");
        rig.Start();
        rig.dialog->AddDownloadObserver(&session);
        image = rig.MakeImage("image.sdl", 4096);
        rig.dialog->m_editPath.SetWindowText(image);
    }
    void TearDown() override { rig.dialog->RemoveDownloadObserver(&session); }

    void Print(const std::string& text) {
        ASSERT_TRUE(rig.box->WriteAll(text.data(), text.size()));
        ASSERT_TRUE(rig.PumpUntil([&] { return rig.Log().find(text) != std::string::npos; }));
    }
    // A whole box: its first frame, the image in one block, EXIT_APP.
    void ServeWholeBox() {
        EXPECT_EQ(rig.BoxAsks(kStartRequest, 4), kStartAnswer);
        EXPECT_EQ(rig.BoxAsks(DataRequest(0, 4096), 4096).size(), 4096u);
        ASSERT_TRUE(rig.box->WriteAll(kExitAppRequest));
        ASSERT_TRUE(rig.PumpUntil([&] { return !session.Running(); }));
    }

    DialogRig rig;
    Heard heard;
    BoxSession session{BoxSlot{"A1", "", {}, {}, {}, {}}, false, &heard};
    std::string image;
};

TEST_F(BoxSessionTest, ABoxBeginsWithItsFirstFrameAndOneThatKeepsPrintingIsNotCountedAgain) {
    rig.ClickStart();
    EXPECT_EQ(session.State(), SlotState::WaitingForBox);
    Print("boot 1.0\r\n");
    EXPECT_EQ(session.State(), SlotState::BoxTalking);
    EXPECT_FALSE(session.InSession()) << "console text alone begins no box";
    ServeWholeBox();
    ASSERT_EQ(heard.Records(), 1);
    const BoxRecord& record = *heard.ends.back().record;
    EXPECT_EQ(record.result, BoxResult::Pass);
    EXPECT_EQ(record.slot, "A1");
    EXPECT_EQ(record.device, rig.box->SlavePath());
    EXPECT_EQ(record.bytes, 4096);
    EXPECT_DOUBLE_EQ(record.coverageSent, 1.0);
    EXPECT_EQ(session.State(), SlotState::Passed);
    EXPECT_EQ(heard.last.done, 4096);
    EXPECT_EQ(heard.last.percent, 100);
    const std::vector<SlotState> story{SlotState::WaitingForBox, SlotState::BoxTalking,
                                       SlotState::Loading, SlotState::Passed};
    EXPECT_EQ(heard.states, story);

    // The next START; the box that passed reboots and prints, still cabled, and asks nothing.
    rig.ClickStart();
    Print("boot 1.0\r\nloading the new image\r\n");
    EXPECT_EQ(session.State(), SlotState::BoxTalking);
    rig.ClickStart();  // the operator (or a signal) stops the loop
    EXPECT_EQ(heard.Records(), 1) << "no second box";
    EXPECT_EQ(heard.ends.back().ended.reason, EndReason::OperatorStop);
    EXPECT_EQ(session.State(), SlotState::WaitingForPort);

    // Stopped mid-session, a box is ABORTED, not failed.
    rig.ClickStart();
    EXPECT_EQ(rig.BoxAsks(kStartRequest, 4), kStartAnswer);
    rig.ClickStart();
    ASSERT_EQ(heard.Records(), 2);
    EXPECT_EQ(heard.ends.back().record->result, BoxResult::Aborted);
    EXPECT_EQ(session.State(), SlotState::Aborted);
}

TEST_F(BoxSessionTest, APortThatVanishesBetweenBoxesIsAStateOfTheSlotNotABox) {
    rig.ClickStart();
    ServeWholeBox();
    rig.ClickStart();
    ASSERT_EQ(session.State(), SlotState::WaitingForBox);
    rig.box->CloseMaster();  // the adapter is pulled while the slot waits for its next box
    ASSERT_TRUE(rig.PumpUntil([&] { return !session.Running(); }));
    EXPECT_EQ(heard.ends.back().ended.reason, EndReason::PortLost);
    EXPECT_FALSE(heard.ends.back().record);
    EXPECT_EQ(heard.Records(), 1);
    EXPECT_EQ(session.State(), SlotState::PortAbsent);
}

TEST_F(BoxSessionTest, APortHeldByAnotherProgramIsBusyAndOnlyASingleRunJudgesIt) {
    // Another program holds the device for a moment, as the tool's own lock would.
    const int holder = open(rig.box->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    rig.dialog->m_link.Close();
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    BoxSession single{BoxSlot{"COM5", "", {}, {}, {}, {}}, true};
    rig.dialog->AddDownloadObserver(&single);
    rig.ClickStart();
    EXPECT_EQ(session.State(), SlotState::PortBusy);
    const SysFailure failure = rig.dialog->LastFailure();
    EXPECT_EQ(failure.result.status, SysStatus::Busy);
    rig.dialog->StopFor(DownloadEnded{EndReason::PortNotOpened, failure, {}});
    rig.dialog->RemoveDownloadObserver(&single);
    EXPECT_FALSE(heard.ends.back().record) << "a slot that waits for its port has no box";
    EXPECT_EQ(session.State(), SlotState::PortBusy);
    EXPECT_EQ(single.State(), SlotState::Failed) << "a single run ends with its reason";

    // Released a moment later: the next START serves a box.
    close(holder);
    rig.ClickStart();
    EXPECT_EQ(session.State(), SlotState::WaitingForBox);
    ServeWholeBox();
    EXPECT_EQ(heard.Records(), 1);
}

}  // namespace
