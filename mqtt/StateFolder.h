#pragma once

// Where a station keeps its report when the operator named none: $XDG_STATE_HOME/stavel/, or
// ~/.local/state/stavel/, made when missing.

#include <optional>
#include <string>

#include "platform/base/Result.h"

// ".../stavel/report.jsonl"; fails when the folder cannot be made.
Result<std::string> DefaultReportPath();

// The machine's host name, the station's name by default ("station" when it has none).
std::string HostName();
