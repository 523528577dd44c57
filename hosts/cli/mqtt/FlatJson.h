#pragma once

// Reads one key of a flat JSON object, as the watch view needs from a state or a result: the
// string's text (escapes undone), or a number, true, false or null as written. Nested objects
// and arrays are skipped over, not read.

#include <optional>
#include <string>
#include <string_view>

std::optional<std::string> FlatJsonField(std::string_view json, std::string_view key);
