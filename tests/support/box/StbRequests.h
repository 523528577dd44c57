#pragma once

// The box's requests as the bytes it puts on the line, for tests that play the box by hand:
// one frame builder, one argument order (offset, then length), as the box's loader sends them.

#include <cstdint>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kStartRequest{0x02, 0x01, 0x03};
inline const Bytes kStartAnswer{0x02, 0x01, 0x0A, 0x03};
inline const Bytes kTimeRequest{0x02, 0x03, 0x03};
inline const Bytes kExitAppRequest{0x02, 0x04, 0x03};

// STX, STB_DATA_REQ, length (16 bits) and offset (32 bits) little-endian, ETX.
inline Bytes DataRequest(std::uint32_t offset, std::uint16_t length) {
    Bytes frame{0x02, 0x02, static_cast<std::uint8_t>(length),
                static_cast<std::uint8_t>(length >> 8)};
    for (int shift = 0; shift < 32; shift += 8) {
        frame.push_back(static_cast<std::uint8_t>(offset >> shift));
    }
    frame.push_back(0x03);
    return frame;
}
