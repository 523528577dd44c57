#include "slot/ScanGate.h"

#include "platform/codepage/ShownText.h"

namespace {

DownloadEnded EndedFor(EndReason reason, const std::string& why) {
    return DownloadEnded{reason, SysFailure(SysResult{SysStatus::Failed, "", 0}, "", why), {}};
}

}  // namespace

void ScanGate::Scanned(std::string id, std::string why) {
    if (why.empty()) {
        m_refusal.reset();  // a box scanned anew is judged anew
    } else {
        m_refusal.emplace(id, std::move(why));
    }
    m_scanned = std::move(id);
}

void ScanGate::Refused(std::string id, std::string why) {
    m_refusal.emplace(std::move(id), std::move(why));
}

ScanGate::Step ScanGate::Next() const {
    if (RefusedNow()) {
        return Step::Fail;
    }
    if (m_scanned && m_console && *m_scanned != *m_console) {
        return Step::Fail;
    }
    return m_required && !m_scanned ? Step::Hold : Step::Answer;
}

DownloadEnded ScanGate::Failure() const {
    if (RefusedNow()) {
        return EndedFor(EndReason::BoxRepeat, m_refusal->second);
    }
    return EndedFor(EndReason::BoxMismatch,
                    MismatchText(m_scanned.value_or(""), m_console.value_or("")));
}

std::string MismatchText(const std::string& scanned, const std::string& console) {
    return "wrong box in socket: scanned " + EscapeName(scanned) + ", box says " +
           EscapeName(console);
}
