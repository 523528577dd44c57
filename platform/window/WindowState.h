#pragma once

// Everything a window is, apart from the object that handles its messages. Subclassing moves
// this from the object the dialog made to the member that takes the control over, so the window
// keeps its handle, text, place, observers and children while its handler changes.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/base/Win32Types.h"
#include "platform/window/ControlKind.h"
#include "platform/window/Icon.h"
#include "platform/window/WindowPlacement.h"

class CFont;
class WindowObserver;

struct WindowState {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    // The caption, or the content of an edit or rich edit (stored once, appended in place).
    std::string text;
    // WS_DISABLED and WS_VISIBLE here are the window's enabled and visible state.
    DWORD style = 0;
    DWORD exStyle = 0;
    WindowPlacement placement;
    HWND parent{};
    std::vector<HWND> children;  // in creation (tab) order
    CFont* font = nullptr;
    std::vector<WindowObserver*> observers;

    // Buttons and check boxes.
    int check = 0;
    // Combo boxes.
    std::vector<std::string> items;
    int curSel = -1;
    // Edits and rich edits: the selection as byte offsets, start <= end.
    std::size_t selStart = 0;
    std::size_t selEnd = 0;
    // Static icons (the icon shown) and dialogs (the large and small window icons).
    HICON icon = kNoIcon;
    HICON smallIcon = kNoIcon;
};
