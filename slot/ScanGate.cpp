#include "slot/ScanGate.h"

#include "platform/codepage/ShownText.h"

namespace {

DownloadEnded EndedFor(EndReason reason, const std::string& why) {
    return DownloadEnded{reason, SysFailure(SysResult{SysStatus::Failed, "", 0}, "", why), {}};
}

}  // namespace

ScanGate::Step ScanGate::Next() const {
    if (m_refusal) {
        return Step::Fail;
    }
    if (m_scanned && m_console && *m_scanned != *m_console) {
        return Step::Fail;
    }
    return m_required && !m_scanned ? Step::Hold : Step::Answer;
}

DownloadEnded ScanGate::Failure() const {
    if (m_refusal) {
        return EndedFor(EndReason::BoxRepeat, *m_refusal);
    }
    return EndedFor(EndReason::BoxMismatch,
                    MismatchText(m_scanned.value_or(""), m_console.value_or("")));
}

std::string MismatchText(const std::string& scanned, const std::string& console) {
    return "wrong box in socket: scanned " + EscapeName(scanned) + ", box says " +
           EscapeName(console);
}
