#pragma once

// The command line's book of boxes: when a box ends, its verdict goes to standard error as one
// line and its record to the report (when there is one); the book keeps the totals that decide
// the exit status of a --count run.
//
// Threading rules: UI thread only.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "download/BoxVerdict.h"
#include "download/ReportFile.h"

struct DownloadState;

class BoxBook {
  public:
    // `portLabel` names the box's place in the verdict line ("COM7 (/dev/ttyUSB3)").
    BoxBook(BoxSlot slot, std::string portLabel, std::unique_ptr<ReportFile> report);

    // Judges the box that `state` holds; false when its record could not be written (the
    // reason is on the verdict stream by then).
    bool Close(const DownloadState& state, BoxEnd end, const BoxEndDetail& detail);

    // Also told of each record as judged (a station's slot passes it on); the line is the record
    // as the report keeps it.
    using RecordSink = std::function<void(const BoxRecord&, BoxEnd, const std::string& line)>;
    void SetRecordSink(RecordSink sink) { m_sink = std::move(sink); }

    int Passed() const { return m_passed; }
    int Failed() const { return m_failed; }
    int Boxes() const { return m_passed + m_failed; }

  private:
    BoxSlot m_slot;
    std::string m_portLabel;
    std::unique_ptr<ReportFile> m_report;
    RecordSink m_sink;
    int m_passed = 0;
    int m_failed = 0;
};
