#pragma once

// A single-line edit field; its text is the window text.

#include <string>

#include "platform/window/Wnd.h"

class CEdit : public CWnd {
  public:
    void SetSel(int start, int end) {
        SendMessage(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    }
    void ReplaceSel(const char* text, BOOL canUndo = 0) {
        SendMessage(EM_REPLACESEL, static_cast<WPARAM>(canUndo), reinterpret_cast<LPARAM>(text));
    }
};
