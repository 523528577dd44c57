#pragma once

// The geometry, font description and constants that painting code passes around. Values match
// the ones the drawing code was written against, so numbers that reach a backend mean the same
// thing on every host.

#include <algorithm>

#include "platform/base/Win32Types.h"

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

// A font as the caller asks for it; a backend maps it onto what it can draw.
struct LOGFONT {
    LONG lfHeight = 0;
    LONG lfEscapement = 0;  // tenths of a degree; 900 runs the text upward
    LONG lfOrientation = 0;
    LONG lfWeight = 0;
    BYTE lfItalic = 0;
    char lfFaceName[32] = {};
};

inline constexpr UINT ETO_OPAQUE = 2;
inline constexpr UINT ETO_CLIPPED = 4;

inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

inline constexpr DWORD SRCCOPY = 0x00CC0020;

inline constexpr COLORREF CLR_DEFAULT = 0xFF000000;
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

inline constexpr int MM_TEXT = 1;
inline constexpr int MM_ISOTROPIC = 7;
inline constexpr int MM_ANISOTROPIC = 8;

inline constexpr UINT OBJ_PEN = 1;
inline constexpr UINT OBJ_BRUSH = 2;
inline constexpr UINT OBJ_FONT = 6;
inline constexpr UINT OBJ_BITMAP = 7;
inline constexpr UINT OBJ_REGION = 8;

// Region kinds, as GetClipBox and SelectClipRgn answer.
inline constexpr int RGN_ERROR = 0;
inline constexpr int NULLREGION = 1;
inline constexpr int SIMPLEREGION = 2;

inline constexpr int PS_SOLID = 0;

inline bool IsRectEmpty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// The common part of two rectangles; an empty rectangle (all zero) when they do not meet.
inline RECT IntersectRects(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return IsRectEmpty(r) ? RECT{} : r;
}

inline bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator==(const POINT& a, const POINT& b) {
    return a.x == b.x && a.y == b.y;
}
inline bool operator==(const SIZE& a, const SIZE& b) {
    return a.cx == b.cx && a.cy == b.cy;
}
