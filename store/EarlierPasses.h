#pragma once

// Where a station that blocks repeats (repeats = "block") also looks for a box's earlier pass:
// the records database of its job, when the job has one. The report and the run are asked
// first (record/PassedBoxes.h); the database knows the passes of other stations and of reports
// long gone. Only passes made under the same job count.
//
// Threading rules: one thread (the station's supervisor). It connects at its first question;
// a database that cannot be reached is said once, and asked again at the next question.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "record/PassedBoxes.h"
#include "store/StoreUrl.h"

class RecordStore;

class EarlierPasses {
  public:
    using Say = std::function<void(const std::string&)>;
    EarlierPasses(StoreUrl url, std::string job);
    ~EarlierPasses();
    EarlierPasses(const EarlierPasses&) = delete;
    EarlierPasses& operator=(const EarlierPasses&) = delete;

    // The first pass of the box `boxId` under the job; nothing for a new box, or while the
    // database cannot be asked (said to `say`, once until it can again).
    std::optional<PassedBoxes::Earlier> Find(const std::string& boxId, const Say& say);

  private:
    StoreUrl m_url;
    std::string m_job;
    std::unique_ptr<RecordStore> m_store;
    bool m_told = false;  // the database's trouble was said
};

// The station's question (StationConfig::earlierPass) put to the database `db`, as a job or
// --db gives it, for the job named `job`; empty for a database it cannot name.
std::function<std::optional<PassedBoxes::Earlier>(const std::string&, const EarlierPasses::Say&)>
EarlierPassesIn(const std::string& db, const std::string& job);
