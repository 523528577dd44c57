#include "download/ConsoleText.h"

#include <cwctype>

void ConsoleTextTally::Add(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (std::mbsinit(&m_state) && c < 0x80) {
            const bool text =
                (c >= 0x20 && c < 0x7F) || c == '\r' || c == '\n' || c == '\t' || c == '\b';
            ++(text ? m_text : m_other);
            ++i;
            continue;
        }
        wchar_t wide = 0;
        const std::size_t length =
            std::mbrtowc(&wide, bytes.data() + i, bytes.size() - i, &m_state);
        if (length == static_cast<std::size_t>(-2)) {
            return;  // the character goes on in the next read; the state keeps its start
        }
        if (length == static_cast<std::size_t>(-1) || length == 0) {
            m_state = std::mbstate_t{};
            ++m_other;
            ++i;
            continue;
        }
        (std::iswprint(static_cast<std::wint_t>(wide)) ? m_text : m_other) +=
            static_cast<std::int64_t>(length);
        i += length;
    }
}
