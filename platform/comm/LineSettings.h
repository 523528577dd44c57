#pragma once

// Line parameters in the codes the system's code passes: byte size is the number of data bits;
// stop bits 0 = one, 1 = one and a half, 2 = two; parity 0 = none, 1 = odd, 2 = even,
// 3 = mark, 4 = space.

#include "platform/base/Win32Types.h"

inline constexpr BYTE ONESTOPBIT = 0;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

inline constexpr BYTE NOPARITY = 0;
inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;

struct LineSettings {
    DWORD baud = 115200;
    BYTE byteSize = 8;
    BYTE stopBits = ONESTOPBIT;
    BYTE parity = NOPARITY;
};

// The write time-out, in milliseconds per byte, with no constant part: 19200 / baud by integer
// division, so 2 at 9600, 1 at 19200 and 0 (no time-out at all) at every faster rate.
inline constexpr DWORD WriteTimeoutPerByteMs(DWORD baud) {
    return baud == 0 ? 0 : 19200 / baud;
}
