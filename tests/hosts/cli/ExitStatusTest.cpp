// How stavel ends, in memory: the exit status of each way a box ends, and of a station's end
// when several things went wrong at once.

#include "hosts/cli/ExitStatus.h"

#include <gtest/gtest.h>

namespace {

TEST(ExitStatus, EachEndOfABoxHasItsStatus) {
    const std::vector<std::pair<EndReason, int>> statuses{
        {EndReason::Passed, 0},      {EndReason::PortNotOpened, 3},  {EndReason::PortLost, 4},
        {EndReason::BoxStalled, 5},  {EndReason::ImageChanged, 6},   {EndReason::BoxSilent, 7},
        {EndReason::SlotCrashed, 1}, {EndReason::OperatorStop, 130},
    };
    for (const auto& [reason, status] : statuses) {
        EXPECT_EQ(ExitStatusFor(reason, 130), status) << EndReasonCode(reason);
    }
    EXPECT_EQ(ExitStatusFor(EndReason::OperatorStop, 129), 129) << "the signal's own status";
}

TEST(ExitStatus, AStationsSignalWinsOverARecordNotWrittenOverUnservableOverFailed) {
    EXPECT_EQ(ExitStatusFor(StationEnd{}), 0);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, false, true}), 1);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, true, true}), 2);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, true, true, true}), 8);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, false, true, true, true}), 6);
    EXPECT_EQ(ExitStatusFor(StationEnd{0, true, false, false, true}), 8);
    EXPECT_EQ(ExitStatusFor(StationEnd{15, true, true, true}), 143);
    EXPECT_EQ(ExitStatusFor(StationEnd{1, false, false, false}), 129);
}

TEST(ExitStatus, EveryFailureBeforeTheFirstBoxIsAUsageError) {
    const SysFailure failure(SysResult{SysStatus::NotFound, "open"}, "/x", "No such file");
    for (const SetupStep step :
         {SetupStep::Report, SetupStep::LogFile, SetupStep::LogFolder, SetupStep::CaptureFolder,
          SetupStep::Capture, SetupStep::Spool, SetupStep::Password, SetupStep::Port}) {
        EXPECT_EQ(SetupFailed(step, failure), 2);
    }
}

}  // namespace
