#include "tests/hosts/cli/JsonLine.h"

#include <cstdlib>

namespace {

class Reader {
  public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool Object(JsonObject* out, std::vector<std::string>* keys) {
        Space();
        if (!Take('{')) {
            return false;
        }
        Space();
        if (Take('}')) {
            return AtEnd();
        }
        for (;;) {
            std::string key;
            JsonValue value;
            Space();
            if (!String(&key)) {
                return false;
            }
            Space();
            if (!Take(':') || !Value(&value)) {
                return false;
            }
            if (out->count(key) != 0) {
                return false;  // a key twice is no record
            }
            (*out)[key] = value;
            keys->push_back(key);
            Space();
            if (Take('}')) {
                return AtEnd();
            }
            if (!Take(',')) {
                return false;
            }
        }
    }

  private:
    bool AtEnd() {
        Space();
        return m_pos == m_text.size();
    }
    void Space() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
            ++m_pos;
        }
    }
    bool Take(char c) {
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Word(const char* word) {
        const std::string w(word);
        if (m_text.compare(m_pos, w.size(), w) == 0) {
            m_pos += w.size();
            return true;
        }
        return false;
    }
    bool String(std::string* out) {
        if (!Take('"')) {
            return false;
        }
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out->push_back(c);
                continue;
            }
            if (m_pos >= m_text.size()) {
                return false;
            }
            const char e = m_text[m_pos++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out->push_back(e);
                    break;
                case 'n':
                    out->push_back('\n');
                    break;
                case 'r':
                    out->push_back('\r');
                    break;
                case 't':
                    out->push_back('\t');
                    break;
                case 'b':
                    out->push_back('\b');
                    break;
                case 'f':
                    out->push_back('\f');
                    break;
                case 'u': {
                    if (m_pos + 4 > m_text.size()) {
                        return false;
                    }
                    const long code = std::strtol(m_text.substr(m_pos, 4).c_str(), nullptr, 16);
                    m_pos += 4;
                    if (code >= 0x80) {
                        return false;  // the writer escapes only control characters
                    }
                    out->push_back(static_cast<char>(code));
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool Value(JsonValue* out) {
        Space();
        if (m_pos >= m_text.size()) {
            return false;
        }
        const char c = m_text[m_pos];
        if (c == '"') {
            out->kind = JsonValue::Kind::String;
            return String(&out->text);
        }
        if (Word("null")) {
            out->kind = JsonValue::Kind::Null;
            return true;
        }
        for (const char* word : {"true", "false"}) {
            if (Word(word)) {
                out->kind = JsonValue::Kind::Bool;
                out->text = word;
                return true;
            }
        }
        const char* start = m_text.c_str() + m_pos;
        char* end = nullptr;
        out->number = std::strtod(start, &end);
        if (end == start) {
            return false;
        }
        out->kind = JsonValue::Kind::Number;
        out->text.assign(start, static_cast<std::size_t>(end - start));
        m_pos += static_cast<std::size_t>(end - start);
        return true;
    }

    const std::string& m_text;
    std::size_t m_pos = 0;
};

}  // namespace

std::optional<JsonObject> ParseJsonObject(const std::string& line) {
    JsonObject object;
    std::vector<std::string> keys;
    if (!Reader(line).Object(&object, &keys)) {
        return std::nullopt;
    }
    return object;
}

std::vector<std::string> JsonKeysInOrder(const std::string& line) {
    JsonObject object;
    std::vector<std::string> keys;
    Reader(line).Object(&object, &keys);
    return keys;
}

std::vector<std::string> ReportLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
