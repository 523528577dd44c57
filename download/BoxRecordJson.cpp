#include "download/BoxRecordJson.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

// Length of the well-formed UTF-8 sequence at `text[i]`, or 0 when it is not one (overlong
// forms, surrogates and code points past U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = at(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || at(i + 1) < low || at(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (at(i + k) < 0x80 || at(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void AppendControl(std::string& out, unsigned char c) {
    switch (c) {
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        default: {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", c);
            out += code;
        }
    }
}

std::string Number(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Seconds to the millisecond, as the times are kept.
double Millis(double seconds) {
    return static_cast<double>(static_cast<long long>(seconds * 1000.0 + 0.5)) / 1000.0;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            AppendControl(out, c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = Utf8Length(text, i)) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out += '"';
    return out;
}

std::string IsoUtcMillis(std::chrono::system_clock::time_point when) {
    const auto millis =
        std::chrono::time_point_cast<std::chrono::milliseconds>(when).time_since_epoch().count();
    const auto seconds =
        static_cast<std::time_t>(millis >= 0 ? millis / 1000 : (millis - 999) / 1000);
    const auto fraction = static_cast<int>(millis - static_cast<long long>(seconds) * 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, fraction);
    return text;
}

std::string BoxRecordLine(const BoxRecord& r) {
    std::string line = "{";
    line += "\"id\":" + JsonString(r.id);
    line += ",\"slot\":" + JsonString(r.slot);
    line += ",\"device\":" + JsonString(r.device);
    line += ",\"adapter\":" + (r.adapter ? JsonString(*r.adapter) : std::string("null"));
    line += ",\"result\":" + JsonString(r.pass ? "pass" : "fail");
    line += ",\"reason\":" + JsonString(r.reason);
    line += ",\"start\":" + JsonString(IsoUtcMillis(r.start));
    line += ",\"end\":" + JsonString(IsoUtcMillis(r.end));
    line += ",\"seconds\":" + Number(Millis(r.seconds));
    line += ",\"bytes\":" + std::to_string(r.bytes);
    line += ",\"requests\":" + std::to_string(r.requests);
    line += ",\"coverage\":" + Number(r.coverage);
    line += ",\"image\":" + JsonString(r.image);
    line += ",\"image_size\":" + std::to_string(r.imageSize);
    line += ",\"image_sha256\":" + JsonString(r.imageSha256);
    line += "}\n";
    return line;
}
