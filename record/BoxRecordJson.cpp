#include "record/BoxRecordJson.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "platform/codepage/Utf8.h"

namespace {

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
        } else if (const std::ptrdiff_t length = Utf8SequenceLength(text, i); length > 0) {
            out.append(text.substr(i, static_cast<std::size_t>(length)));
            i += static_cast<std::size_t>(length);
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

const char* BoxResultWord(BoxResult result) {
    switch (result) {
        case BoxResult::Pass:
            return "pass";
        case BoxResult::Fail:
            return "fail";
        case BoxResult::Aborted:
            return "aborted";
    }
    return "fail";
}

std::string BoxRecordLine(const BoxRecord& r) {
    std::string line = "{";
    line += "\"id\":" + JsonString(r.id);
    line += ",\"slot\":" + JsonString(r.slot);
    line += ",\"device\":" + JsonString(r.device);
    line += ",\"adapter\":" + (r.adapter ? JsonString(*r.adapter) : std::string("null"));
    line += ",\"result\":" + JsonString(BoxResultWord(r.result));
    line += ",\"reason\":" + JsonString(r.reason);
    line += ",\"start\":" + JsonString(IsoUtcMillis(r.start));
    line += ",\"end\":" + JsonString(IsoUtcMillis(r.end));
    line += ",\"seconds\":" + Number(Millis(r.seconds));
    line += ",\"bytes\":" + std::to_string(r.bytes);
    line += ",\"requests\":" + std::to_string(r.requests);
    line += ",\"coverage\":" + Number(r.coverage);
    line += ",\"coverage_sent\":" + Number(r.coverageSent);
    line += ",\"image\":" + JsonString(r.image);
    line += ",\"image_size\":" + std::to_string(r.imageSize);
    line += ",\"image_sha256\":" + JsonString(r.imageSha256);
    line += "}\n";
    return line;
}
