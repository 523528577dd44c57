#include "capture/CaptureFormat.h"

#include <cstring>

namespace {

void PutLittle(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint64_t GetLittle(std::string_view in, std::size_t at, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint64_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    return value;
}

constexpr std::size_t kDataBody = 4 + 2 + 4 + 32;

}  // namespace

std::string EncodeCaptureEntry(CaptureKind kind, std::uint64_t micros, std::string_view body) {
    std::string out;
    out.reserve(kCaptureEntryHead + body.size());
    out += static_cast<char>(kind);
    PutLittle(out, micros, 8);
    PutLittle(out, body.size(), 4);
    out.append(body);
    return out;
}

std::string EncodeCapturedData(const CapturedData& data) {
    std::string out;
    out.reserve(kDataBody);
    PutLittle(out, data.offset, 4);
    PutLittle(out, data.length, 2);
    PutLittle(out, data.sent, 4);
    out.append(reinterpret_cast<const char*>(data.sha256.data()), data.sha256.size());
    return out;
}

std::optional<CapturedData> DecodeCapturedData(std::string_view body) {
    if (body.size() != kDataBody) {
        return std::nullopt;
    }
    CapturedData data;
    data.offset = static_cast<std::uint32_t>(GetLittle(body, 0, 4));
    data.length = static_cast<std::uint16_t>(GetLittle(body, 4, 2));
    data.sent = static_cast<std::uint32_t>(GetLittle(body, 6, 4));
    std::memcpy(data.sha256.data(), body.data() + 10, data.sha256.size());
    return data;
}

Result<std::int64_t> ParseCaptureMax(std::string_view text) {
    std::int64_t value = 0;
    std::size_t at = 0;
    // Below 2^40 before the unit: a terabyte is far past any box, and nothing overflows.
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < (1LL << 40); ++at) {
        value = value * 10 + (text[at] - '0');
    }
    const std::string_view unit = text.substr(at);
    const int shift = unit.empty()                 ? 0
                      : unit == "K" || unit == "k" ? 10
                      : unit == "M" || unit == "m" ? 20
                      : unit == "G" || unit == "g" ? 30
                                                   : -1;
    if (at == 0 || shift < 0 || value > ((1LL << 40) >> shift)) {
        return Refusal("", "--capture-max takes bytes up to 1T, or a number with K, M or G, not '" +
                               std::string(text) + "'");
    }
    value <<= shift;
    if (value < kCaptureMaxLeast) {
        return Refusal("", "--capture-max must be at least 64K, not '" + std::string(text) + "'");
    }
    return value;
}
