#include "slot/ExitStatus.h"

#include <iterator>

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"

namespace {

struct SetupWords {
    SetupStep step;
    const char* before;  // what goes before the system's reason
    int status;
};

constexpr SetupWords kSetupWords[] = {
    {SetupStep::Report, "the report cannot be written: ", kExitUsage},
    {SetupStep::LogFile, "the log file cannot be written: ", kExitUsage},
    {SetupStep::LogFolder, "the log folder cannot take files: ", kExitUsage},
    {SetupStep::CaptureFolder, "the capture folder cannot take files: ", kExitUsage},
    {SetupStep::Capture, "the capture cannot be read: ", kExitUsage},
    {SetupStep::Spool, "the MQTT spool cannot be kept: ", kExitUsage},
    {SetupStep::Database, "the database cannot be used: ", kExitUsage},
    {SetupStep::DatabaseSpool, "the database's spool cannot be kept: ", kExitUsage},
    {SetupStep::Database, "the database cannot be used: ", kExitUsage},
    {SetupStep::DatabaseSpool, "the database's spool cannot be kept: ", kExitUsage},
    {SetupStep::Password, "", kExitUsage},
    {SetupStep::Port, "", kExitUsage},
    {SetupStep::BoxId, "--box-id: ", kExitUsage},
};

const SetupWords& WordsFor(SetupStep step) {
    const SetupWords* words = std::begin(kSetupWords);
    while (words->step != step) {
        ++words;
    }
    return *words;
}

}  // namespace

int ExitStatusFor(EndReason reason, int operatorStatus) {
    switch (reason) {
        case EndReason::Passed:
            return kExitPass;
        case EndReason::PortNotOpened:
            return kExitPortFailed;
        case EndReason::PortLost:
            return kExitPortLost;
        case EndReason::BoxStalled:
            return kExitBoxStalled;
        case EndReason::ImageChanged:
            return kExitImageChanged;
        case EndReason::BoxSilent:
        case EndReason::BoxTalking:
            return kExitBoxSilent;
        case EndReason::OperatorStop:
            return operatorStatus;
        case EndReason::SlotCrashed:
        case EndReason::StationKilled:
        case EndReason::ImageNotWhole:
        case EndReason::UnitNotDelivered:
        case EndReason::NotScanned:
        case EndReason::BoxMismatch:
        case EndReason::BoxRepeat:
            return kExitSomeBoxFailed;
        case EndReason::UnitPoolEmpty:
        case EndReason::UnitStoreUnreachable:
            return kExitUnitPool;
    }
    return kExitSomeBoxFailed;
}

std::string SetupFailureText(SetupStep step, const SysFailure& failure) {
    return WordsFor(step).before + EscapeName(failure.Describe());
}

int SetupFailed(SetupStep step, const SysFailure& failure) {
    WriteStderr("stavel: " + SetupFailureText(step, failure) + "\n");
    return WordsFor(step).status;
}
