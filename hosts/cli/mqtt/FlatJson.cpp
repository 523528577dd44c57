#include "hosts/cli/mqtt/FlatJson.h"

#include <cstdlib>

namespace {

void SkipSpace(std::string_view text, std::size_t& at) {
    while (at < text.size() &&
           (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r')) {
        ++at;
    }
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The string starting at the quote at `at`; `at` ends past its closing quote.
std::optional<std::string> ReadString(std::string_view text, std::size_t& at) {
    std::string out;
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '"') {
            ++at;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++at >= text.size()) {
            return std::nullopt;
        }
        switch (text[at]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (at + 4 >= text.size()) {
                    return std::nullopt;
                }
                const std::string hex(text.substr(at + 1, 4));
                char* end = nullptr;
                const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + 4) {
                    return std::nullopt;
                }
                // A surrogate half alone shows as U+FFFD; the records hold none.
                AppendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
                at += 4;
                break;
            }
            default:
                out += text[at];
        }
    }
    return std::nullopt;
}

// Past the value at `at` (any kind); its text when it is a scalar.
std::optional<std::string> ReadValue(std::string_view text, std::size_t& at) {
    SkipSpace(text, at);
    if (at >= text.size()) {
        return std::nullopt;
    }
    if (text[at] == '"') {
        return ReadString(text, at);
    }
    if (text[at] == '{' || text[at] == '[') {
        int depth = 0;
        for (; at < text.size(); ++at) {
            const char c = text[at];
            if (c == '"') {
                if (!ReadString(text, at)) {
                    return std::nullopt;
                }
                --at;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && --depth == 0) {
                ++at;
                return std::string();
            }
        }
        return std::nullopt;
    }
    const std::size_t start = at;
    while (at < text.size() && text[at] != ',' && text[at] != '}' && text[at] != ' ') {
        ++at;
    }
    return std::string(text.substr(start, at - start));
}

}  // namespace

std::optional<std::string> FlatJsonField(std::string_view json, std::string_view key) {
    std::size_t at = 0;
    SkipSpace(json, at);
    if (at >= json.size() || json[at] != '{') {
        return std::nullopt;
    }
    ++at;
    for (;;) {
        SkipSpace(json, at);
        if (at >= json.size() || json[at] != '"') {
            return std::nullopt;
        }
        const std::optional<std::string> name = ReadString(json, at);
        SkipSpace(json, at);
        if (!name || at >= json.size() || json[at] != ':') {
            return std::nullopt;
        }
        ++at;
        const std::optional<std::string> value = ReadValue(json, at);
        if (!value) {
            return std::nullopt;
        }
        if (*name == key) {
            return value;
        }
        SkipSpace(json, at);
        if (at >= json.size() || json[at] != ',') {
            return std::nullopt;
        }
        ++at;
    }
}
