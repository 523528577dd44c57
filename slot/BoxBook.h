#pragma once

// A slot's book of boxes (a single run is a slot of its own): when a box has its verdict, its log
// ends with the verdict line, its record (with where and by whom it was made, and whether the
// box was loaded before) goes to the report when there is one, and then its verdict goes to
// standard error as one line, which also says when the record could not be written.
//
// Threading rules: UI thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "download/SessionEvents.h"
#include "platform/base/Result.h"
#include "record/BoxRecord.h"
#include "record/PassedBoxes.h"
#include "record/ReportFile.h"

class BoxBook {
  public:
    // `portLabel` names the box's place in the verdict line ("COM7 (/dev/ttyUSB3)").
    BoxBook(std::string portLabel, std::unique_ptr<ReportFile> report);

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
    // Where and by whom the records are made.
    void SetProvenance(RecordProvenance made) { m_made = std::move(made); }
    // Where the operator is told that a box's log was lost (standard error by default).
    void SetSay(std::function<void(const std::string&)> say) { m_say = std::move(say); }
    // The last record as it was kept (after Close).
    const BoxRecord& Last() const { return m_last; }
    // Some box's log could not be written whole: the run ends with status 8.
    bool LogsLost() const { return m_logsLost; }

    // Also told of each record as judged (a station's slot passes it on); the line is the record
    // as the report keeps it.
    using RecordSink = std::function<void(const BoxRecord&, EndReason, const std::string& line)>;
    void SetRecordSink(RecordSink sink) { m_sink = std::move(sink); }

  private:
    std::string m_portLabel;
    std::unique_ptr<ReportFile> m_report;
    RecordSink m_sink;
    LogEnd m_logEnd;
    std::function<std::optional<std::string>()> m_logFileName;
    RecordProvenance m_made;
    BoxRecord m_last;
    PassedBoxes m_passed;  // for --box-id: boxes that passed before
    std::function<void(const std::string&)> m_say;
    bool m_logsLost = false;
};

// The verdict line, and where the record could not be kept, why: "...: PASS ..., record not
// written: REASON".
std::string VerdictWithRecord(const std::string& verdict, const std::string& recordError);
