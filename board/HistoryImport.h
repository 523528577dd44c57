#pragma once

// An older board's history, read into the database once: the files FILE.4 ... FILE.1 and FILE
// (one JSON line per result, as boards before the database kept them), oldest first, in
// batches; then each is renamed with ".imported" added, not deleted, so that nothing is lost and
// the next start does not read them again. A line torn by a crash is left out.

#include <cstddef>
#include <optional>
#include <string>

#include "platform/base/Result.h"
#include "store/RecordStore.h"

struct HistoryImported {
    std::size_t results = 0;  // lines that were results
    std::size_t files = 0;    // files read and renamed
};

// Nothing when there is no such file; fails when the database does not take the results (the
// files then stay as they were, for the next start).
Result<std::optional<HistoryImported>> ImportHistory(const std::string& path, RecordStore& store);
