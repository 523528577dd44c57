#pragma once

// A slot's book of boxes: when a box has its verdict, its log ends with the verdict line; then,
// in a run that keeps its own records (a single run), its record goes to the record book (where
// and by whom, whether the box was loaded before, the report) and its verdict to standard error
// as one line, which also says when the record could not be written. A station's slot keeps no
// records: its station does, from the record the slot sends up, through the same record book.
//
// Threading rules: UI thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "platform/base/Result.h"
#include "record/BoxRecord.h"
#include "record/RecordBook.h"

class BoxBook {
  public:
    // `portLabel` names the box's place in the verdict line ("COM7 (/dev/ttyUSB3)"). `records`
    // is null in a station's slot.
    BoxBook(std::string portLabel, std::unique_ptr<RecordBook> records);

    // Finishes the box's log, keeps the record and shows the verdict; false when the record
    // could not be written.
    bool Close(const BoxRecord& record, EndReason reason);

    // Ends the box's log with its verdict line; fails when the log could not be kept whole.
    using LogEnd = std::function<Result<void>(const BoxRecord&, const std::string& verdictLine)>;
    void SetLogEnd(LogEnd end) { m_logEnd = std::move(end); }
    // The file that holds the box's log, for its record.
    void SetLogFileName(std::function<std::optional<std::string>()> name) {
        m_logFileName = std::move(name);
    }
    // Where and by whom, for a record this book does not keep (a station's slot tells its own
    // capture), so that the slot's files say what its station's report will.
    void SetProvenance(RecordProvenance made) { m_made = std::move(made); }
    // Prints a PASS's label before its record is kept; the record says whether it was.
    using LabelPrint = std::function<Result<void>(const BoxRecord&)>;
    void SetLabelPrint(LabelPrint print) { m_label = std::move(print); }
    // Where the operator is told that a box's log was lost (standard error by default).
    void SetSay(std::function<void(const std::string&)> say) { m_say = std::move(say); }
    // The last record as it was kept (after Close).
    const BoxRecord& Last() const { return m_last; }
    // Some box's log could not be written whole: the run ends with status 8.
    bool LogsLost() const { return m_logsLost; }

    // Also told of each record as kept (a publisher); the line is the record as the report
    // keeps it.
    using RecordSink = std::function<void(const BoxRecord&, EndReason, const std::string& line)>;
    void SetRecordSink(RecordSink sink) { m_sink = std::move(sink); }

  private:
    std::string m_portLabel;
    std::unique_ptr<RecordBook> m_records;
    RecordSink m_sink;
    LogEnd m_logEnd;
    std::function<std::optional<std::string>()> m_logFileName;
    RecordProvenance m_made;
    BoxRecord m_last;
    std::function<void(const std::string&)> m_say;
    LabelPrint m_label;
    bool m_logsLost = false;
};

// The verdict line, and where the record could not be kept, why: "...: PASS ..., record not
// written: REASON".
std::string VerdictWithRecord(const std::string& verdict, const std::string& recordError);
