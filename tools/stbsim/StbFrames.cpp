#include "tools/stbsim/StbFrames.h"

#include <cstdio>

namespace stbsim {

std::vector<uint8_t> StartRequest() {
    return {kStx, kCmdStart, kEtx};
}

std::vector<uint8_t> TimeRequest() {
    return {kStx, kCmdTimeReq, kEtx};
}

std::vector<uint8_t> ExitRequest() {
    return {kStx, kCmdExitApp, kEtx};
}

std::vector<uint8_t> DataRequest(uint16_t length, uint32_t offset) {
    return {kStx,
            kCmdDataReq,
            static_cast<uint8_t>(length & 0xFF),
            static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(offset & 0xFF),
            static_cast<uint8_t>((offset >> 8) & 0xFF),
            static_cast<uint8_t>((offset >> 16) & 0xFF),
            static_cast<uint8_t>(offset >> 24),
            kEtx};
}

std::vector<uint8_t> StartAnswer() {
    return {kStx, kCmdStart, 0x0A, kEtx};
}

std::string HexBytes(const uint8_t* data, size_t size, size_t maxBytes) {
    if (size == 0) {
        return "(nothing)";
    }
    std::string text;
    char hex[4];
    for (size_t i = 0; i < size && i < maxBytes; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", data[i]);
        if (!text.empty()) {
            text += ' ';
        }
        text += hex;
    }
    if (size > maxBytes) {
        text += " ... (" + std::to_string(size) + " bytes)";
    }
    return text;
}

std::string HexBytes(const std::vector<uint8_t>& bytes, size_t maxBytes) {
    return HexBytes(bytes.data(), bytes.size(), maxBytes);
}

}  // namespace stbsim
