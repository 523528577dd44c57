#pragma once

// A station's records for the database: each box's record, once final, handed to the writer,
// which keeps it in its spool and writes it from its own thread.
//
// Threading rules: the station's supervisor thread calls it; the writer queues and returns.

#include "station/StationObserver.h"
#include "store/RecordWriter.h"

class StationStore final : public StationObserver {
  public:
    explicit StationStore(RecordWriter& writer) : m_writer(writer) {}

    void OnStationStarted(const std::vector<std::string>&) override { m_writer.Start(); }
    void OnStationEnded() override { m_writer.End(); }
    void OnRecordFinal(const std::string&, const std::string& recordLine) override {
        m_writer.Add(recordLine);
    }
    // A killed run's box, recorded at this start: the database takes it as any other record.
    void OnBoxRecovered(const std::string&, const BoxRecord&,
                        const std::string& recordLine) override {
        m_writer.Add(recordLine);
    }

  private:
    RecordWriter& m_writer;
};
