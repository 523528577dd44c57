#include "platform/codepage/ShownText.h"

#include <cstddef>

#include "platform/codepage/Utf8.h"

namespace {

constexpr std::ptrdiff_t kIncomplete = kUtf8Incomplete;

bool IsUtf8C1(std::string_view text, std::size_t pos) {
    return pos + 1 < text.size() && static_cast<unsigned char>(text[pos]) == 0xC2 &&
           static_cast<unsigned char>(text[pos + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[pos + 1]) <= 0x9F;
}

bool IsControl(unsigned char c, KeptControls kept) {
    if (kept == KeptControls::LayoutOnly && (c == '\r' || c == '\n' || c == '\t' || c == '\b')) {
        return false;
    }
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
}

// How many bytes at `pos` make one character, or kIncomplete when the text ends inside it.
std::ptrdiff_t CharacterAt(std::string_view text, std::size_t pos, CodeSet codeSet) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
        return 1;
    }
    switch (codeSet) {
        case CodeSet::Utf8: {
            const std::ptrdiff_t n = Utf8SequenceLength(text, pos);
            return n == 0 ? 1 : n;
        }
        case CodeSet::Cp949:
            if (c < 0x81 || c == 0xFF) {
                return 1;
            }
            if (pos + 1 >= text.size()) {
                return kIncomplete;
            }
            // A trail byte below 0x41 cannot be one: the lead stands alone, and the next byte
            // (a control, perhaps) is judged on its own.
            return static_cast<unsigned char>(text[pos + 1]) >= 0x41 ? 2 : 1;
        case CodeSet::SingleByte:
            if (c == 0xC2 && pos + 1 >= text.size()) {
                return kIncomplete;  // perhaps the UTF-8 form of a C1 control
            }
            return IsUtf8C1(text, pos) ? 2 : 1;
    }
    return 1;
}

// Appends the shown form of `text` to `out`; answers how many bytes were taken (the rest is
// an incomplete last character, left when `final` is false).
std::size_t Show(std::string& out, std::string_view text, KeptControls kept, CodeSet codeSet,
                 bool final) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::ptrdiff_t n = CharacterAt(text, pos, codeSet);
        if (n == kIncomplete) {
            if (!final) {
                return pos;
            }
            AppendEscaped(out, text.substr(pos));
            return text.size();
        }
        const std::string_view character = text.substr(pos, static_cast<std::size_t>(n));
        // A double-byte character of code page 949 may hold any trail byte and is text.
        const bool control = n == 1 ? IsControl(static_cast<unsigned char>(character[0]), kept)
                                    : codeSet != CodeSet::Cp949 && IsUtf8C1(character, 0);
        if (control) {
            AppendEscaped(out, character);
        } else {
            out.append(character);
        }
        pos += static_cast<std::size_t>(n);
    }
    return pos;
}

}  // namespace

std::string EscapeName(std::string_view name, CodeSet codeSet) {
    std::string out;
    out.reserve(name.size());
    Show(out, name, KeptControls::None, codeSet, true);
    return out;
}

std::string ShownTextStream::Feed(std::string_view piece) {
    std::string out;
    if (m_held.empty()) {
        const std::size_t taken = Show(out, piece, m_kept, m_codeSet, false);
        m_held.assign(piece.substr(taken));
        return out;
    }
    std::string joined = m_held + std::string(piece);
    const std::size_t taken = Show(out, joined, m_kept, m_codeSet, false);
    m_held = joined.substr(taken);
    return out;
}

std::string ShownTextStream::Flush() {
    std::string out;
    Show(out, m_held, m_kept, m_codeSet, true);
    m_held.clear();
    return out;
}
