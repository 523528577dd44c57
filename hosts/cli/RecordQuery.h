#pragma once

// `stavel --find BOXID` and `stavel --export ...`: records read back from the database named by
// --db, or by the job's `db`, to standard output.
//   --find     every record of the box, oldest first: when, where, which image, the verdict and
//              its reason, the attempt, the operator and the log; --json: the records as JSON
//              Lines, exactly as kept
//   --export   the records that started from --from up to --to (and of --station, with
//              --result): CSV with a header and one column per key (nested keys dotted), or
//              --format jsonl
// The output is written straight to the descriptor, so an export of millions of records waits
// for its reader rather than being cut.

#include <functional>
#include <string>

#include "hosts/cli/CliOptions.h"

// Answers the exit status: 0 when records were shown (an export with none, too), 1 when the box
// has none, 2 when there is no database to read or it cannot be used (said on `say`).
int RunRecordQuery(const CliOptions& options, const std::function<void(const std::string&)>& say);
