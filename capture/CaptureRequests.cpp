#include "capture/CaptureRequests.h"

#include <cstdio>

namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kStart = 1;
constexpr std::uint8_t kData = 2;
constexpr std::uint8_t kTime = 3;
constexpr std::uint8_t kExit = 4;
constexpr int kDataPayload = 6;

}  // namespace

bool CaptureRequests::Take(std::uint8_t byte, std::uint64_t micros) {
    if (m_state == 0) {
        m_state = byte == kStx ? 1 : 0;
        return false;
    }
    if (m_state == 1) {
        m_command = byte;
        m_state = 2;
        return false;
    }
    const int payload = m_command == kData ? kDataPayload : 0;
    if (m_state - 2 < payload) {
        m_payload[m_state - 2] = byte;
        ++m_state;
        return false;
    }
    m_state = 0;
    if (byte != kEtx) {
        return false;
    }
    m_last = CapturedRequest{};
    m_last.number = ++m_count;
    m_last.micros = micros;
    m_last.command = m_command;
    if (m_command == kData) {
        m_last.length = static_cast<std::uint16_t>(m_payload[0] | (m_payload[1] << 8));
        m_last.offset = static_cast<std::uint32_t>(m_payload[2]) |
                        (static_cast<std::uint32_t>(m_payload[3]) << 8) |
                        (static_cast<std::uint32_t>(m_payload[4]) << 16) |
                        (static_cast<std::uint32_t>(m_payload[5]) << 24);
    }
    return true;
}

std::string RequestName(const CapturedRequest& request) {
    char text[64];
    switch (request.command) {
        case kStart:
            return "STB_START";
        case kTime:
            return "STB_TIME_REQ";
        case kExit:
            return "EXIT_APP";
        case kData:
            std::snprintf(text, sizeof text, "STB_DATA_REQ %u bytes at 0x%08X",
                          static_cast<unsigned>(request.length),
                          static_cast<unsigned>(request.offset));
            return text;
        default:
            std::snprintf(text, sizeof text, "command 0x%02X",
                          static_cast<unsigned>(request.command));
            return text;
    }
}

std::string CaptureSeconds(std::uint64_t micros) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%03llu s",
                  static_cast<unsigned long long>(micros / 1000000),
                  static_cast<unsigned long long>(micros / 1000 % 1000));
    return text;
}
