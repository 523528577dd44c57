#pragma once

// Where a station keeps its report when the operator named none: $XDG_STATE_HOME/stavel/, or
// ~/.local/state/stavel/, made when missing.

#include <optional>
#include <string>

// ".../stavel/report.jsonl"; empty with `error` when the folder cannot be made.
std::optional<std::string> DefaultReportPath(std::string* error);

// The machine's host name, the station's name by default ("station" when it has none).
std::string HostName();
