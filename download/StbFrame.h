#pragma once

// The frames between the box and the tool: STX, a command byte, a payload whose length the
// command fixes, ETX. There is no length field, no checksum and no escaping, so a payload byte
// may be 0x02 or 0x03: the reader counts payload bytes, it never looks for ETX.

#include <cstdint>

#include "platform/base/Win32Types.h"

inline constexpr BYTE STX = 0x02;
inline constexpr BYTE ETX = 0x03;

// Commands from the box.
inline constexpr BYTE STB_START = 1;
inline constexpr BYTE STB_DATA_REQ = 2;
inline constexpr BYTE STB_TIME_REQ = 3;
inline constexpr BYTE EXIT_APP = 4;

// STB_DATA_REQ carries the block length (2 bytes) and the offset (4 bytes), both little-endian.
inline constexpr int STB_DATA_REQ_PAYLOAD = 6;

// The answer to STB_START: command 1 with this one payload byte (02 01 0A 03 on the wire).
inline constexpr BYTE STB_START_ACK = 0x0A;

// How long the reader waits for each byte of a frame, in milliseconds.
inline constexpr int STB_BYTE_TIMEOUT_MS = 1000;

// The largest block the box can ask for, and the pieces it is written in.
inline constexpr DWORD STB_BLOCK_BUFFER = 65536;
inline constexpr DWORD STB_WRITE_PIECE = 256;

struct StbDataRequest {
    WORD length = 0;
    DWORD offset = 0;
};

inline StbDataRequest ParseDataRequest(const BYTE payload[STB_DATA_REQ_PAYLOAD]) {
    StbDataRequest request;
    request.length = static_cast<WORD>(payload[0] | (payload[1] << 8));
    request.offset = static_cast<DWORD>(payload[2]) | (static_cast<DWORD>(payload[3]) << 8) |
                     (static_cast<DWORD>(payload[4]) << 16) |
                     (static_cast<DWORD>(payload[5]) << 24);
    return request;
}

// The line's rate unless a run asks for another (--baud, a job's `baud`): 115200 baud, 8N1, so a
// byte takes 10 bit times.
inline constexpr DWORD kLineBaud = 115200;

// How long `bytes` take on a line of `baud`, 8N1, in microseconds.
inline constexpr std::int64_t WireMicroseconds(std::int64_t bytes, DWORD baud) {
    return bytes * 10 * 1'000'000 / static_cast<std::int64_t>(baud == 0 ? kLineBaud : baud);
}
