#pragma once

// A strict reader for the report's lines, for the tests: one flat JSON object (strings,
// numbers, null, true, false) per line. Anything else, a torn line included, reads as nothing.

#include <map>
#include <optional>
#include <string>
#include <vector>

struct JsonValue {
    enum class Kind { String, Number, Null, Bool } kind = Kind::Null;
    std::string text;  // the string's value, or the number as written
    double number = 0;
};

using JsonObject = std::map<std::string, JsonValue>;

std::optional<JsonObject> ParseJsonObject(const std::string& line);
// The object's keys in the order they were written (ParseJsonObject sorts them).
std::vector<std::string> JsonKeysInOrder(const std::string& line);
// The report's lines; a last piece without its line break is kept as a line too.
std::vector<std::string> ReportLines(const std::string& text);
