#pragma once

// The one place a box's record is kept, whoever judged the box: stamped with where and by whom it
// was made, checked against the boxes that passed before (--box-id: a repeat points at the
// earlier record), and appended to the report when there is one. A single run keeps its records
// here, and so does a station's supervisor, for the records its slots send and for those it makes
// itself for a slot that died.
//
// Threading rules: one owner thread.

#include <memory>
#include <string>

#include "record/BoxRecord.h"
#include "record/PassedBoxes.h"
#include "record/ReportFile.h"

class RecordBook {
  public:
    // `report` may be null: the records are kept nowhere, but repeats are still told.
    RecordBook(std::unique_ptr<ReportFile> report, RecordProvenance made);

    struct Kept {
        BoxRecord record;    // as it was kept
        std::string line;    // as the report holds it, line break included
        std::string repeat;  // "box SN4711 was loaded before: 10:32, slot A2", or empty
        std::string error;   // why the report could not take it, or empty
    };
    Kept Keep(const BoxRecord& judged);
    // A record an earlier run made (a box it had in flight when it was killed): kept with the
    // provenance it carries, since that run served the box.
    Kept KeepEarlier(const BoxRecord& record);
    // The first pass of the box `boxId`, in the report or this run; nothing for a new box.
    std::optional<PassedBoxes::Earlier> Passed(const std::string& boxId) {
        return m_passed.Find(boxId);
    }

  private:
    Kept KeepAs(const BoxRecord& judged, const RecordProvenance& made);

    std::unique_ptr<ReportFile> m_report;
    RecordProvenance m_made;
    PassedBoxes m_passed;
};
