#pragma once

// A multi-line text pane. The text is kept once, in the window's state; an insertion at the end
// appends in place (amortised constant time per byte), and observers are told only what was
// inserted, so neither the control nor a view ever re-reads the whole text.

#include <string>

#include "platform/window/Wnd.h"

class CRichEditCtrl : public CWnd {
  public:
    // (-1, -1): no selection, the insertion point at the end. (0, -1): everything.
    void SetSel(long start, long end) {
        SendMessage(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    }
    // The whole text without copying it.
    const std::string& Text() const { return State().text; }
    std::size_t GetTextLength() const { return State().text.size(); }
};
