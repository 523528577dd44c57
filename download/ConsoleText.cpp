#include "download/ConsoleText.h"

#include "platform/codepage/CodeSet.h"
#include "platform/codepage/Utf8.h"

namespace {

bool IsTextByte(unsigned char c) {
    return (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t' || c == '\b';
}

// The length of the whole character at `pos` in `codeSet`: above 0 for a character, 0 for a
// byte that is none, -1 for the start of one the text ends before finishing.
std::ptrdiff_t CharacterAt(std::string_view text, std::size_t pos, CodeSet codeSet) {
    const auto c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
        return IsTextByte(c) ? 1 : 0;
    }
    switch (codeSet) {
        case CodeSet::Utf8:
            return Utf8SequenceLength(text, pos);
        case CodeSet::Cp949: {
            if (c < 0x81 || c == 0xFF) {
                return 0;
            }
            if (pos + 1 >= text.size()) {
                return -1;
            }
            const auto t = static_cast<unsigned char>(text[pos + 1]);
            const bool trail =
                (t >= 0x41 && t <= 0x5A) || (t >= 0x61 && t <= 0x7A) || (t >= 0x81 && t <= 0xFE);
            return trail ? 2 : 0;
        }
        case CodeSet::SingleByte:
            return c >= 0xA0 ? 1 : 0;  // 0x80..0x9F are controls
    }
    return 0;
}

}  // namespace

void ConsoleTextTally::Add(std::string_view bytes) {
    const std::string text = m_pending + std::string(bytes);
    m_pending.clear();
    const CodeSet codeSet = ActiveCodeSet();
    for (std::size_t pos = 0; pos < text.size();) {
        const std::ptrdiff_t length = CharacterAt(text, pos, codeSet);
        if (length < 0) {
            m_pending = text.substr(pos);
            return;
        }
        if (length == 0) {
            ++m_other;
            ++pos;
            continue;
        }
        m_text += length;
        pos += static_cast<std::size_t>(length);
    }
}
