#pragma once

// Icons as data: the application registers each icon's pixels under its resource id, and a
// handle is that id. Hosts and paint code look the pixels up; nothing here owns a system object.

#include <cstdint>
#include <vector>

#include "platform/base/Win32Types.h"

enum class HICON : std::intptr_t {};
inline constexpr HICON kNoIcon{};

struct IconImage {
    int width = 0;
    int height = 0;
    // Row-major, top row first; kIconTransparent marks pixels that show what lies beneath.
    std::vector<COLORREF> pixels;
};
inline constexpr COLORREF kIconTransparent = 0xFF000000;

void RegisterIcon(int id, IconImage image);
// The handle of a registered icon, or kNoIcon when no icon has that id.
HICON LoadIcon(int id);
// The pixels behind a handle, or null for kNoIcon and unknown handles.
const IconImage* FindIcon(HICON icon);

// The few system metrics painting asks for.
inline constexpr int SM_CXICON = 11;
inline constexpr int SM_CYICON = 12;
int GetSystemMetrics(int index);
