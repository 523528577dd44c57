#include "hosts/cli/ConsoleLog.h"

namespace {

bool DrivesTerminal(unsigned char c) {
    if (c == '\r' || c == '\n' || c == '\t' || c == '\b') {
        return false;
    }
    return c < 0x20 || c == 0x7F;
}

}  // namespace

std::string ConsoleLog::Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (DrivesTerminal(c)) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

void ConsoleLog::OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (m_escape) {
        const std::string shown = Escape(text);
        std::fwrite(shown.data(), 1, shown.size(), m_out);
    } else {
        std::fwrite(text.data(), 1, text.size(), m_out);
    }
}
