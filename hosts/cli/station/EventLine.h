#pragma once

// The JSON Lines that a slot's process sends its station over a pipe, read back. Each line is
// one flat object; a nested object (the box's record) is kept as the exact text it was sent as,
// so the station writes to the report the very line the box was judged with.
//
// A line that is not such an object reads as nothing: a slot's process that died half-way
// through a line cannot make the station act on half an event.

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct EventValue {
    enum class Kind { String, Number, Bool, Null, Object } kind = Kind::Null;
    std::string text;  // a string's value, or the number, bool or object as written
    double number = 0;
};

using EventFields = std::map<std::string, EventValue, std::less<>>;

std::optional<EventFields> ParseEventLine(std::string_view line);

// The field's string, or `fallback` when it is missing or not a string.
std::string EventString(const EventFields& fields, std::string_view key,
                        const std::string& fallback = {});
double EventNumber(const EventFields& fields, std::string_view key, double fallback = 0);
