#pragma once

// What a station checks and makes before its first slot starts: the image can be read, the log
// folder takes files (made when it is not there yet), the report opens, and a temporary folder
// holds each slot's own copy of the settings and the file its standard error goes to, so that no
// two slots ever write one file. The folder goes with the station.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "record/ReportFile.h"

// One slot's place.
struct SlotPlace {
    std::string device;     // the device its port names now
    int number = 0;         // the COM number its log names (0: the slot's own choice)
    std::string ini;        // its copy of the settings
    std::string errorFile;  // where its standard error goes
};

class StationFiles {
  public:
    // Fails with what the operator is told ("the report cannot be written: ...").
    static Result<std::unique_ptr<StationFiles>> Make(const std::string& image,
                                                      const std::optional<std::string>& logDir,
                                                      const std::optional<std::string>& report,
                                                      const std::optional<std::string>& ini,
                                                      const std::vector<std::string>& ports);
    ~StationFiles();
    StationFiles(const StationFiles&) = delete;
    StationFiles& operator=(const StationFiles&) = delete;

    // The report, for the station's record book; null without one (taken once).
    std::unique_ptr<ReportFile> TakeReport() { return std::move(m_report); }
    const std::vector<SlotPlace>& Places() const { return m_places; }
    // The station's temporary folder ("/tmp/stavel-station-XXXXXX").
    const std::string& TempDir() const { return m_tempDir; }

  private:
    StationFiles() = default;

    std::unique_ptr<ReportFile> m_report;
    std::string m_tempDir;
    std::vector<SlotPlace> m_places;
};
