#include "station/BoxBook.h"

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "record/BoxRecordCodec.h"
#include "record/VerdictLine.h"

BoxBook::BoxBook(std::string portLabel, std::unique_ptr<ReportFile> report)
    : m_portLabel(std::move(portLabel)),
      m_report(std::move(report)),
      m_passed(m_report ? std::optional(m_report->Path()) : std::nullopt) {}

std::string VerdictWithRecord(const std::string& verdict, const std::string& recordError) {
    return recordError.empty() ? verdict : verdict + ", record not written: " + recordError;
}

bool BoxBook::Close(const BoxRecord& judged, EndReason reason) {
    // The log first, so that the record can say whether it is whole; then the record is on
    // disk before the operator reads the verdict. The verdict goes through the output thread
    // like everything else shown, so an unread terminal never holds the box.
    BoxRecord record = judged;
    record.made = m_made;
    if (m_logEnd) {
        const Result<void> logged =
            m_logEnd(record, ApplicationName() + ": " + VerdictLine(m_portLabel, record));
        if (!logged) {
            record.logComplete = false;
            m_logsLost = true;
            const std::string line =
                "the log file cannot be written: " + EscapeName(logged.Failure().Describe());
            if (m_say) {
                m_say(line);
            } else {
                WriteStderr(ApplicationName() + ": " + line + "\n");
            }
        }
    }
    if (m_logFileName) {
        record.logFile = m_logFileName();
    }
    std::string repeat;
    if (record.boxId) {
        if (const auto earlier = m_passed.Find(*record.boxId)) {
            record.repeatOf = earlier->recordId;
            repeat = "; " + RepeatWarning(*record.boxId, *earlier);
        }
        m_passed.Add(record);
    }
    m_last = record;
    const std::string line = BoxRecordLine(record);
    const Result<void> kept = m_report ? m_report->Append(line) : Result<void>();
    if (m_sink) {
        m_sink(record, reason, line);
    }
    WriteStderr(ApplicationName() + ": " +
                EscapeName(VerdictWithRecord(VerdictLine(m_portLabel, record) + repeat,
                                             kept.Failure().Describe())) +
                "\n");
    return kept.Ok();
}
