#include "hosts/cli/BoxBook.h"

#include "download/BoxRecordJson.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"

BoxBook::BoxBook(BoxSlot slot, std::string portLabel, std::unique_ptr<ReportFile> report)
    : m_slot(std::move(slot)), m_portLabel(std::move(portLabel)), m_report(std::move(report)) {}

bool BoxBook::Close(const DownloadState& state, BoxEnd end, const BoxEndDetail& detail) {
    const BoxRecord record = JudgeBox(m_slot, state, end, detail, std::chrono::steady_clock::now());
    ++(record.pass ? m_passed : m_failed);
    // The record is on disk before the operator reads the verdict. The verdict goes through
    // the output thread like everything else shown, so an unread terminal never holds the box.
    std::string error;
    const std::string line = BoxRecordLine(record);
    const bool kept = !m_report || m_report->Append(line, &error);
    if (m_sink) {
        m_sink(record, end, line);
    }
    std::string text =
        ApplicationName() + ": " + EscapeName(VerdictLine(m_portLabel, record)) + "\n";
    if (!kept) {
        text += ApplicationName() + ": the report cannot be written: " + EscapeName(error) + "\n";
    }
    WriteStderr(text);
    return kept;
}
