#include "record/RecordBook.h"

#include "record/BoxRecordCodec.h"

RecordBook::RecordBook(std::unique_ptr<ReportFile> report, RecordProvenance made)
    : m_report(std::move(report)),
      m_made(std::move(made)),
      m_passed(m_report ? std::optional(m_report->Path()) : std::nullopt) {}

RecordBook::Kept RecordBook::Keep(const BoxRecord& judged) {
    Kept kept;
    kept.record = judged;
    BoxRecord& record = kept.record;
    record.made = m_made;
    if (record.boxId) {
        if (const auto earlier = m_passed.Find(*record.boxId)) {
            record.repeatOf = earlier->recordId;
            kept.repeat = RepeatWarning(*record.boxId, *earlier);
        }
        m_passed.Add(record);
    }
    kept.line = BoxRecordLine(record);
    if (m_report) {
        if (const Result<void> written = m_report->Append(kept.line); !written) {
            kept.error = written.Failure().Describe();
        }
    }
    return kept;
}
