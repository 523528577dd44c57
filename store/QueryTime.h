#pragma once

// A time as the operator gives it to --from and --to, ISO 8601: UTC with its zone
// ("2026-12-07T08:00:00Z", also with milliseconds or an offset such as "+01:00"), or the local
// time without one ("2026-12-07T08:00:00", "2026-12-07T08:00", or a day, "2026-12-07", from its
// midnight).

#include <cstdint>
#include <optional>
#include <string>

// Milliseconds since 1970; nothing for a text that is not such a time.
std::optional<std::int64_t> ParseQueryTime(const std::string& text);
