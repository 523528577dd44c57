#include "settings/DecimalText.h"

#include <cstdint>
#include <limits>

#include "settings/IniLine.h"

int ReadDecimal(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsIniBlank(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulated as a magnitude in 64 bits and clamped once it leaves the 32-bit range.
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > kLimit) {
            magnitude = kLimit;
        }
    }
    if (negative) {
        return static_cast<int>(-magnitude);
    }
    return static_cast<int>(magnitude >= kLimit ? kLimit - 1 : magnitude);
}
