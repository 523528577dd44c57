// How stavel ends, in memory: the exit status of each way a box ends, and every failure before
// the first box. A station's end, when several things went wrong at once, is the supervisor's
// (tests/station/SupervisorTest.cpp).

#include "slot/ExitStatus.h"

#include <gtest/gtest.h>

namespace {

TEST(ExitStatus, EachEndOfABoxHasItsStatus) {
    const std::vector<std::pair<EndReason, int>> statuses{
        {EndReason::Passed, 0},      {EndReason::PortNotOpened, 3},  {EndReason::PortLost, 4},
        {EndReason::BoxStalled, 5},  {EndReason::ImageChanged, 6},   {EndReason::BoxSilent, 7},
        {EndReason::SlotCrashed, 1}, {EndReason::OperatorStop, 130}, {EndReason::StationKilled, 1},
    };
    for (const auto& [reason, status] : statuses) {
        EXPECT_EQ(ExitStatusFor(reason, 130), status) << EndReasonCode(reason);
    }
    EXPECT_EQ(ExitStatusFor(EndReason::OperatorStop, 129), 129) << "the signal's own status";
}

TEST(ExitStatus, EveryFailureBeforeTheFirstBoxIsAUsageError) {
    const SysFailure failure(SysResult{SysStatus::NotFound, "open"}, "/x", "No such file");
    for (const SetupStep step : {SetupStep::Report, SetupStep::LogFile, SetupStep::LogFolder,
                                 SetupStep::CaptureFolder, SetupStep::Capture, SetupStep::Spool,
                                 SetupStep::Password, SetupStep::Port, SetupStep::BoxId}) {
        EXPECT_EQ(SetupFailed(step, failure), 2);
    }
    EXPECT_EQ(SetupFailureText(SetupStep::Report, failure),
              "the report cannot be written: /x: No such file");
}

}  // namespace
