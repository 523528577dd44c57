#include "record/FlatJson.h"

#include <cstdlib>

namespace {

class Scanner {
  public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    void SkipSpace() {
        while (m_at < m_text.size() && (m_text[m_at] == ' ' || m_text[m_at] == '\t' ||
                                        m_text[m_at] == '\r' || m_text[m_at] == '\n')) {
            ++m_at;
        }
    }
    bool Take(char c) {
        SkipSpace();
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool AtEnd() {
        SkipSpace();
        return m_at == m_text.size();
    }
    char Peek() {
        SkipSpace();
        return m_at < m_text.size() ? m_text[m_at] : '\0';
    }

    std::optional<std::string> String() {
        if (!Take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return std::nullopt;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_at >= m_text.size() || !Escape(m_text[m_at++], out)) {
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<FlatJsonValue> Value() {
        FlatJsonValue v;
        const char c = Peek();
        if (c == '"') {
            std::optional<std::string> s = String();
            if (!s) {
                return std::nullopt;
            }
            v.kind = FlatJsonValue::Kind::String;
            v.text = std::move(*s);
            return v;
        }
        if (c == '{' || c == '[') {
            const std::size_t from = m_at;
            if (!SkipObject()) {
                return std::nullopt;
            }
            v.kind = c == '{' ? FlatJsonValue::Kind::Object : FlatJsonValue::Kind::Array;
            v.text = std::string(m_text.substr(from, m_at - from));
            return v;
        }
        return Word();
    }

  private:
    bool Escape(char e, std::string& out) {
        switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u':
                return Unicode(out);
            default:
                return false;
        }
    }

    // \uXXXX as UTF-8; the records' writer escapes only control characters this way. A
    // surrogate half alone would make the text invalid UTF-8: it reads as U+FFFD.
    bool Unicode(std::string& out) {
        if (m_at + 4 > m_text.size()) {
            return false;
        }
        char* end = nullptr;
        const std::string hex(m_text.substr(m_at, 4));
        const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 4) {
            return false;
        }
        m_at += 4;
        const unsigned long shown = code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code;
        AppendUtf8(out, shown);
        return true;
    }

    static void AppendUtf8(std::string& out, unsigned long code) {
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

    // A nested object or array, strings inside it included, without reading its values.
    bool SkipObject() {
        int depth = 0;
        bool inString = false;
        while (m_at < m_text.size()) {
            const char c = m_text[m_at++];
            if (inString) {
                if (c == '\\') {
                    ++m_at;
                } else if (c == '"') {
                    inString = false;
                }
                continue;
            }
            if (c == '"') {
                inString = true;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if (c == '}' || c == ']') {
                if (--depth == 0) {
                    return true;
                }
            }
        }
        return false;
    }

    std::optional<FlatJsonValue> Word() {
        const std::size_t from = m_at;
        while (m_at < m_text.size() && m_text[m_at] != ',' && m_text[m_at] != '}' &&
               m_text[m_at] != ' ') {
            ++m_at;
        }
        FlatJsonValue v;
        v.text = std::string(m_text.substr(from, m_at - from));
        if (v.text == "true" || v.text == "false") {
            v.kind = FlatJsonValue::Kind::Bool;
            return v;
        }
        if (v.text == "null") {
            return v;
        }
        char* end = nullptr;
        v.number = std::strtod(v.text.c_str(), &end);
        if (v.text.empty() || end != v.text.c_str() + v.text.size()) {
            return std::nullopt;
        }
        v.kind = FlatJsonValue::Kind::Number;
        return v;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

}  // namespace

std::optional<FlatJsonFields> ParseFlatJson(std::string_view line) {
    Scanner scan(line);
    if (!scan.Take('{')) {
        return std::nullopt;
    }
    FlatJsonFields fields;
    if (scan.Take('}')) {
        return scan.AtEnd() ? std::optional(fields) : std::nullopt;
    }
    for (;;) {
        std::optional<std::string> key = scan.String();
        if (!key || !scan.Take(':')) {
            return std::nullopt;
        }
        std::optional<FlatJsonValue> value = scan.Value();
        if (!value) {
            return std::nullopt;
        }
        fields[std::move(*key)] = std::move(*value);
        if (scan.Take('}')) {
            break;
        }
        if (!scan.Take(',')) {
            return std::nullopt;
        }
    }
    return scan.AtEnd() ? std::optional(std::move(fields)) : std::nullopt;
}

std::string FlatJsonString(const FlatJsonFields& fields, std::string_view key,
                           const std::string& fallback) {
    const auto it = fields.find(key);
    return it != fields.end() && it->second.kind == FlatJsonValue::Kind::String ? it->second.text
                                                                                : fallback;
}

double FlatJsonNumber(const FlatJsonFields& fields, std::string_view key, double fallback) {
    const auto it = fields.find(key);
    return it != fields.end() && it->second.kind == FlatJsonValue::Kind::Number ? it->second.number
                                                                                : fallback;
}

std::optional<std::string> FlatJsonField(std::string_view line, std::string_view key) {
    const std::optional<FlatJsonFields> fields = ParseFlatJson(line);
    if (!fields) {
        return std::nullopt;
    }
    const auto it = fields->find(key);
    return it != fields->end() ? std::optional(it->second.text) : std::nullopt;
}
