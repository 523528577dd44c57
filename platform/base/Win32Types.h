#pragma once

// The scalar types and the handful of constants the system's code is written in. They keep the
// widths the code relies on (a message parameter holds a pointer, a colour is 32 bits) without
// pretending to be Windows: nothing here exists unless a caller needs it.
//
// TRUE and FALSE are deliberately absent: GLib and others define them as macros, and a constant
// of the same name would break any file that includes both. Use 1 and 0, or true and false.

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;
using LONG = std::int32_t;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = std::uint32_t;

// A window handle: a number that names a live window in the process's window registry. Messages
// are delivered by looking the number up, so a message posted to a window that has gone is
// dropped instead of reaching freed memory.
enum class HWND : std::uintptr_t {};
inline constexpr HWND kNoWindow{};

inline constexpr UINT WM_USER = 0x0400;

inline constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
inline constexpr BYTE GetRValue(COLORREF c) {
    return static_cast<BYTE>(c & 0xFF);
}
inline constexpr BYTE GetGValue(COLORREF c) {
    return static_cast<BYTE>((c >> 8) & 0xFF);
}
inline constexpr BYTE GetBValue(COLORREF c) {
    return static_cast<BYTE>((c >> 16) & 0xFF);
}

// System colour indices, as Host::GetSysColor takes them.
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_HIGHLIGHT = 13;
inline constexpr int COLOR_BTNFACE = 15;

inline constexpr WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
inline constexpr WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// Message box types and results the system uses.
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
