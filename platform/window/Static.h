#pragma once

// A static text or icon.

#include "platform/window/Wnd.h"

class CStatic : public CWnd {
  public:
    // Returns the icon shown before.
    HICON SetIcon(HICON icon) {
        return static_cast<HICON>(SendMessage(STM_SETICON, static_cast<WPARAM>(icon)));
    }
    HICON GetIcon() const {
        return static_cast<HICON>(const_cast<CStatic*>(this)->SendMessage(STM_GETICON));
    }
};
