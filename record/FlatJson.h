#pragma once

// The reader of the JSON Lines this system writes (box records, a slot's events to its station,
// the states and results a station publishes): one flat object per line. A nested object or
// array is kept as the exact text it was sent as, so the station writes to the report the very
// record the box was judged with.
//
// A line that is not such an object reads as nothing: a slot's process that died half-way
// through a line cannot make the station act on half an event.

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct FlatJsonValue {
    enum class Kind { String, Number, Bool, Null, Object, Array } kind = Kind::Null;
    std::string text;  // a string's value, or the number, bool, null, object or array as written
    double number = 0;
};

using FlatJsonFields = std::map<std::string, FlatJsonValue, std::less<>>;

std::optional<FlatJsonFields> ParseFlatJson(std::string_view line);

// The field's string, or `fallback` when it is missing or not a string.
std::string FlatJsonString(const FlatJsonFields& fields, std::string_view key,
                           const std::string& fallback = {});
double FlatJsonNumber(const FlatJsonFields& fields, std::string_view key, double fallback = 0);
// One field of one line, as written (a string's value unescaped); nothing when the line is not
// an object or lacks the key.
std::optional<std::string> FlatJsonField(std::string_view line, std::string_view key);
