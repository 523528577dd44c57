#include "unit/CounterPattern.h"

#include <cctype>
#include <charconv>

namespace {

// The text with {{ and }} made single; false on a lone brace.
bool Unescape(const std::string& text, std::string& out) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{' || text[i] == '}') {
            if (i + 1 >= text.size() || text[i + 1] != text[i]) {
                return false;
            }
            ++i;
        }
        out += text[i];
    }
    return true;
}

// The start of the one placeholder: the first '{' not doubled.
std::size_t PlaceholderAt(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            if (i + 1 < text.size() && text[i + 1] == '{') {
                ++i;
                continue;
            }
            return i;
        }
        if (text[i] == '}' && i + 1 < text.size() && text[i + 1] == '}') {
            ++i;
        }
    }
    return std::string::npos;
}

}  // namespace

Result<CounterPattern> CounterPattern::Parse(const std::string& text) {
    const auto refuse = [&] {
        return Refusal("counter \"" + text + "\"",
                       "a counter's pattern has one placeholder for the number: {}, {:d}, "
                       "{:08d}, {:x} or {:04X}, with {{ and }} for braces");
    };
    const std::size_t open = PlaceholderAt(text);
    if (open == std::string::npos) {
        return refuse();
    }
    const std::size_t close = text.find('}', open);
    if (close == std::string::npos) {
        return refuse();
    }
    CounterPattern p;
    p.m_text = text;
    if (!Unescape(text.substr(0, open), p.m_before) ||
        !Unescape(text.substr(close + 1), p.m_after)) {
        return refuse();
    }
    std::string layout = text.substr(open + 1, close - open - 1);
    if (!layout.empty()) {
        if (layout.front() != ':') {
            return refuse();
        }
        layout.erase(0, 1);
        if (!layout.empty() &&
            (layout.back() == 'd' || layout.back() == 'x' || layout.back() == 'X')) {
            p.m_kind = layout.back();
            layout.pop_back();
        }
        p.m_zeros = !layout.empty() && layout.front() == '0';
        if (layout.size() > 2) {
            return refuse();  // no field is 100 digits wide
        }
        for (const char c : layout) {
            if (c < '0' || c > '9') {
                return refuse();
            }
            p.m_width = p.m_width * 10 + (c - '0');
        }
    }
    return p;
}

std::string CounterPattern::Render(std::int64_t n) const {
    char buffer[32];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, n < 0 ? -n : n, m_kind == 'd' ? 10 : 16);
    std::string digits(buffer, end);
    if (m_kind == 'X') {
        for (char& c : digits) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    const std::size_t shown = digits.size() + (n < 0 ? 1 : 0);
    const std::size_t pad =
        static_cast<std::size_t>(m_width) > shown ? static_cast<std::size_t>(m_width) - shown : 0;
    std::string number = m_zeros ? std::string(n < 0 ? "-" : "") + std::string(pad, '0') + digits
                                 : std::string(pad, ' ') + (n < 0 ? "-" : "") + digits;
    return m_before + number + m_after;
}
