#include "tests/support/box/StbRequests.h"

Bytes DataRequest(std::uint32_t offset, std::uint16_t length) {
    return {0x02,
            0x02,
            static_cast<std::uint8_t>(length & 0xFF),
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(offset & 0xFF),
            static_cast<std::uint8_t>((offset >> 8) & 0xFF),
            static_cast<std::uint8_t>((offset >> 16) & 0xFF),
            static_cast<std::uint8_t>(offset >> 24),
            0x03};
}
