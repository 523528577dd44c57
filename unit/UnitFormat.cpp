#include "unit/UnitFormat.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <utility>

namespace {

constexpr std::array<std::pair<UnitFormat, const char*>, 5> kWords{{
    {UnitFormat::Ascii, "ascii"},
    {UnitFormat::Hex, "hex"},
    {UnitFormat::Mac, "mac"},
    {UnitFormat::U32Le, "u32le"},
    {UnitFormat::U32Be, "u32be"},
}};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

SysFailure Refused(std::string_view text, const std::string& why) {
    return Refusal("'" + std::string(text) + "'", why);
}

Result<std::string> HexBytes(std::string_view text) {
    if (text.size() % 2 != 0) {
        return Refused(text, "hex takes two digits a byte");
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return Refused(text, "hex takes the digits 0-9 a-f");
        }
        bytes += static_cast<char>(high << 4 | low);
    }
    return bytes;
}

Result<std::string> MacBytes(std::string_view text) {
    // Six pairs and five separators, all of one kind.
    if (text.size() != 17 || (text[2] != ':' && text[2] != '-')) {
        return Refused(text, "a mac is six pairs of hex digits, aa:bb:cc:dd:ee:ff");
    }
    std::string pairs;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i % 3 == 2) {
            if (text[i] != text[2]) {
                return Refused(text, "a mac is six pairs of hex digits, aa:bb:cc:dd:ee:ff");
            }
            continue;
        }
        pairs += text[i];
    }
    Result<std::string> bytes = HexBytes(pairs);
    if (!bytes) {
        return Refused(text, "a mac is six pairs of hex digits, aa:bb:cc:dd:ee:ff");
    }
    return bytes;
}

Result<std::uint32_t> Whole32(std::string_view text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string_view digits = hex ? text.substr(2) : text;
    if (digits.empty()) {
        return Refused(text, "a u32 is a whole number from 0 to 4294967295");
    }
    std::uint64_t n = 0;
    for (const char c : digits) {
        const int d = hex ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        n = n * (hex ? 16 : 10) + static_cast<std::uint64_t>(d);
        if (d < 0 || n > 0xFFFFFFFFull) {
            return Refused(text, "a u32 is a whole number from 0 to 4294967295");
        }
    }
    return static_cast<std::uint32_t>(n);
}

}  // namespace

std::optional<UnitFormat> UnitFormatNamed(std::string_view word) {
    for (const auto& [format, name] : kWords) {
        if (word == name) {
            return format;
        }
    }
    return std::nullopt;
}

const char* UnitFormatName(UnitFormat format) {
    for (const auto& [f, name] : kWords) {
        if (f == format) {
            return name;
        }
    }
    return "ascii";
}

const char* UnitFormatWords() {
    return "ascii, hex, mac, u32le or u32be";
}

std::optional<std::size_t> UnitFormatLength(UnitFormat format) {
    switch (format) {
        case UnitFormat::Mac:
            return 6;
        case UnitFormat::U32Le:
        case UnitFormat::U32Be:
            return 4;
        default:
            return std::nullopt;
    }
}

Result<std::string> EncodeUnitValue(UnitFormat format, std::string_view text, std::size_t length) {
    std::string bytes;
    switch (format) {
        case UnitFormat::Ascii:
            for (const char c : text) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    return Refused(text, "ascii takes printable text");
                }
            }
            bytes = text;
            break;
        case UnitFormat::Hex: {
            Result<std::string> hex = HexBytes(text);
            if (!hex) {
                return hex;
            }
            bytes = *hex;
            break;
        }
        case UnitFormat::Mac: {
            Result<std::string> mac = MacBytes(text);
            if (!mac) {
                return mac;
            }
            bytes = *mac;
            break;
        }
        case UnitFormat::U32Le:
        case UnitFormat::U32Be: {
            Result<std::uint32_t> n = Whole32(text);
            if (!n) {
                return n.Failure();
            }
            for (int i = 0; i < 4; ++i) {
                const int shift = format == UnitFormat::U32Le ? 8 * i : 8 * (3 - i);
                bytes += static_cast<char>((*n >> shift) & 0xFF);
            }
            break;
        }
    }
    if (bytes.size() > length) {
        return Refused(text, "is " + std::to_string(bytes.size()) + " bytes, longer than its " +
                                 std::to_string(length) + "-byte field");
    }
    bytes.resize(length, '\0');
    return bytes;
}
