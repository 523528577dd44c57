#include "record/RecordBook.h"

#include "record/BoxRecordCodec.h"

RecordBook::RecordBook(std::unique_ptr<ReportFile> report, RecordProvenance made)
    : m_report(std::move(report)),
      m_made(std::move(made)),
      m_passed(m_report ? std::optional(m_report->Path()) : std::nullopt) {}

RecordBook::Kept RecordBook::Keep(const BoxRecord& judged) {
    return KeepAs(judged, m_made);
}

RecordBook::Kept RecordBook::KeepEarlier(const BoxRecord& record) {
    return KeepAs(record, record.made);
}

RecordBook::Kept RecordBook::KeepAs(const BoxRecord& judged, const RecordProvenance& made) {
    Kept kept;
    kept.record = judged;
    BoxRecord& record = kept.record;
    record.made = made;
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
