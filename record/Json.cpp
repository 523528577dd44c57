#include "record/Json.h"

#include <cmath>
#include <cstdint>

#include "platform/codepage/Utf8.h"

Json JsonText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::ptrdiff_t length = Utf8SequenceLength(bytes, i);
        if (length > 0) {
            text.append(bytes.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
        } else {
            text += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return text;
}

Json JsonTextOrNull(const std::optional<std::string>& bytes) {
    return bytes ? JsonText(*bytes) : Json(nullptr);
}

Json JsonNumber(double value) {
    constexpr double kWholeLimit = 9007199254740992.0;  // 2^53: every whole double below is exact
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < kWholeLimit) {
        return static_cast<std::int64_t>(value);
    }
    return value;
}

std::string JsonLine(const Json& json) {
    // Text went through JsonText; the replacement is there for a string that did not.
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string JsonStringAt(const Json& object, const char* key, const std::string& fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

double JsonNumberAt(const Json& object, const char* key, double fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_number() ? it->get<double>() : fallback;
}

std::int64_t JsonWholeAt(const Json& object, const char* key, std::int64_t fallback) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) {
        return fallback;
    }
    if (!it->is_number_float()) {
        return it->get<std::int64_t>();
    }
    // A double past int64's range (1e300 from a hostile payload) has no whole value to cast to.
    const double value = it->get<double>();
    constexpr double kLimit = 9.2e18;
    return std::isfinite(value) && std::fabs(value) < kLimit ? static_cast<std::int64_t>(value)
                                                             : fallback;
}

bool JsonBoolAt(const Json& object, const char* key, bool fallback) {
    const auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

bool JsonDepthWithin(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;  // the escaped character cannot end the string
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

std::optional<Json> ParseJsonObject(std::string_view line, std::size_t maxBytes) {
    if (line.size() > maxBytes || !JsonDepthWithin(line, kJsonMaxDepth)) {
        return std::nullopt;
    }
    Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return std::nullopt;
    }
    return json;
}
