#pragma once

// The JSON this system writes and reads: records, a station's events, a slot's wire to its
// station and the broker's payloads all go through nlohmann's ordered_json, so keys keep the
// order they were given in, and the same value is always the same bytes.
//
// Two habits keep every line valid and stable. Text is bytes (a path is any bytes): what is not
// UTF-8 is written as U+FFFD, one for each byte that does not belong to a character. A whole
// number held in a double (a coverage of 1) is written as "1", not "1.0".

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// `bytes` as a JSON string value.
Json JsonText(std::string_view bytes);
// The same, or null when there is nothing to hold.
Json JsonTextOrNull(const std::optional<std::string>& bytes);
// `value` as a JSON number: a whole number without a fraction, else its shortest exact form.
Json JsonNumber(double value);
// One line of compact JSON, without the line break.
std::string JsonLine(const Json& json);
// A member of `object` read without throwing: `fallback` when it is missing or of another type.
std::string JsonStringAt(const Json& object, const char* key, const std::string& fallback = {});
double JsonNumberAt(const Json& object, const char* key, double fallback = 0);
std::int64_t JsonWholeAt(const Json& object, const char* key, std::int64_t fallback = 0);
bool JsonBoolAt(const Json& object, const char* key, bool fallback = false);
// What a decoder of outside input takes at most: deeper nesting or more bytes are refused before
// anything is parsed, so that no payload can make a parser, a copy or a writer recurse past the
// stack.
inline constexpr int kJsonMaxDepth = 32;
inline constexpr std::size_t kJsonMaxBytes = 1 << 20;
// Whether `text` nests arrays and objects no deeper than `maxDepth` (strings are skipped).
bool JsonDepthWithin(std::string_view text, int maxDepth);
// The object `line` holds; nothing for anything else (a torn line, another program's text, a
// payload over the bounds above).
std::optional<Json> ParseJsonObject(std::string_view line, std::size_t maxBytes = kJsonMaxBytes);
