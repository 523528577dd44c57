#include "platform/codepage/MultiByte.h"

bool IsLeadByte(unsigned char byte, CodeSet codeSet) {
    return codeSet == CodeSet::Cp949 && byte >= 0x81 && byte <= 0xFE;
}

std::size_t CharLength(std::string_view text, std::size_t pos, CodeSet codeSet) {
    const bool lead = IsLeadByte(static_cast<unsigned char>(text[pos]), codeSet);
    return lead && pos + 1 < text.size() ? 2 : 1;
}

std::string FoldLower(std::string_view text, CodeSet codeSet) {
    std::string out(text);
    for (std::size_t pos = 0; pos < out.size(); pos += CharLength(out, pos, codeSet)) {
        char& c = out[pos];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::size_t FindFirstChar(std::string_view text, char c, CodeSet codeSet) {
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos, codeSet)) {
        if (text[pos] == c) {
            return pos;
        }
    }
    return std::string_view::npos;
}

std::size_t FindLastChar(std::string_view text, char c, CodeSet codeSet) {
    // Characters can only be told apart walking forwards: a byte in 0x81..0xFE may be a lead
    // or a trail byte depending on what precedes it.
    std::size_t found = std::string_view::npos;
    for (std::size_t pos = 0; pos < text.size(); pos += CharLength(text, pos, codeSet)) {
        if (text[pos] == c) {
            found = pos;
        }
    }
    return found;
}

std::size_t CharBoundaryAtOrBefore(std::string_view text, std::size_t maxBytes, CodeSet codeSet) {
    if (text.size() <= maxBytes) {
        return text.size();
    }
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t next = pos + CharLength(text, pos, codeSet);
        if (next > maxBytes) {
            break;
        }
        pos = next;
    }
    if (codeSet == CodeSet::Utf8) {
        // Multi-byte UTF-8 characters are single bytes to the walk above; step back over
        // continuation bytes so that no character is cut in two.
        while (pos > 0 && (static_cast<unsigned char>(text[pos]) & 0xC0) == 0x80) {
            --pos;
        }
    }
    return pos;
}
