#include "hosts/cli/BoxBook.h"

#include "download/BoxRecordJson.h"
#include "platform/host/Host.h"

BoxBook::BoxBook(BoxSlot slot, std::string portLabel, std::unique_ptr<ReportFile> report,
                 std::FILE* verdictOut)
    : m_slot(std::move(slot)),
      m_portLabel(std::move(portLabel)),
      m_report(std::move(report)),
      m_out(verdictOut) {}

bool BoxBook::Close(const DownloadState& state, BoxEnd end, const BoxEndDetail& detail) {
    const BoxRecord record = JudgeBox(m_slot, state, end, detail, std::chrono::steady_clock::now());
    ++(record.pass ? m_passed : m_failed);
    // The log so far goes out first, so that a report on standard output (or a terminal that
    // shows both) has the box's record and verdict after its log.
    std::fflush(stdout);
    // The record is on disk before the operator reads the verdict.
    std::string error;
    const bool kept = !m_report || m_report->Append(BoxRecordLine(record), &error);
    std::fprintf(m_out, "%s: %s\n", ApplicationName().c_str(),
                 VerdictLine(m_portLabel, record).c_str());
    if (!kept) {
        std::fprintf(m_out, "%s: the report cannot be written: %s\n", ApplicationName().c_str(),
                     error.c_str());
    }
    std::fflush(m_out);
    return kept;
}
