#include "platform/codepage/Utf8.h"

namespace {

bool IsContinuation(unsigned char c) {
    return c >= 0x80 && c <= 0xBF;
}

}  // namespace

std::ptrdiff_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // the range of the byte after the lead (overlongs, surrogates)
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
    for (std::size_t i = 1; i < length; ++i) {
        if (pos + i >= text.size()) {
            return kUtf8Incomplete;
        }
        const auto c = static_cast<unsigned char>(text[pos + i]);
        const bool fits = i == 1 ? (c >= low && c <= high) : IsContinuation(c);
        if (!fits) {
            return 0;
        }
    }
    return static_cast<std::ptrdiff_t>(length);
}

std::string CutText(const std::string& text, std::size_t most) {
    if (text.size() <= most) {
        return text;
    }
    std::size_t end = 0;
    while (end < most) {
        const std::ptrdiff_t length = Utf8SequenceLength(text, end);
        const std::size_t step = length > 0 ? static_cast<std::size_t>(length) : 1;
        if (end + step > most) {
            break;
        }
        end += step;
    }
    return text.substr(0, end);
}
