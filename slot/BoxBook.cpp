#include "slot/BoxBook.h"

#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"
#include "record/BoxRecordCodec.h"
#include "record/VerdictLine.h"

BoxBook::BoxBook(std::string portLabel, std::unique_ptr<RecordBook> records)
    : m_portLabel(std::move(portLabel)), m_records(std::move(records)) {}

std::string VerdictWithRecord(const std::string& verdict, const std::string& recordError) {
    return recordError.empty() ? verdict : verdict + ", record not written: " + recordError;
}

bool BoxBook::Close(const BoxRecord& judged, EndReason reason) {
    // The log first, so that the record can say whether it is whole; then the record is on
    // disk before the operator reads the verdict. The verdict goes through the output thread
    // like everything else shown, so an unread terminal never holds the box.
    BoxRecord record = judged;
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
    if (m_label && record.Passed()) {
        // Where and by whom, for the label's job and station, before the record book adds them.
        BoxRecord labelled = record;
        labelled.made = m_made;
        const Result<void> printed = m_label(labelled);
        record.label = printed.Ok();
        if (!printed) {
            const std::string line = "label not printed: " + printed.Failure().Describe();
            if (m_say) {
                m_say(line);
            } else {
                WriteStderr(ApplicationName() + ": " + EscapeName(line) + "\n");
            }
        }
    }
    if (!m_records) {
        record.made = m_made;
        m_last = record;
        if (m_sink) {
            m_sink(record, reason, BoxRecordLine(record));
        }
        return true;
    }
    const RecordBook::Kept kept = m_records->Keep(record);
    m_last = kept.record;
    if (m_sink) {
        m_sink(kept.record, reason, kept.line);
    }
    const std::string repeat = kept.repeat.empty() ? std::string() : "; " + kept.repeat;
    WriteStderr(
        ApplicationName() + ": " +
        EscapeName(VerdictWithRecord(VerdictLine(m_portLabel, kept.record) + repeat, kept.error)) +
        "\n");
    return kept.error.empty();
}
