#pragma once

// A window menu: the items a host shows in the dialog's system menu. Choosing one sends
// WM_SYSCOMMAND with its id to the dialog.

#include <string>
#include <vector>

#include "platform/base/Win32Types.h"

struct MenuItem {
    UINT flags = 0;  // MF_STRING or MF_SEPARATOR
    UINT_PTR id = 0;
    std::string text;
};

class CMenu {
  public:
    BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr) {
        m_items.push_back(MenuItem{flags, id, text != nullptr ? text : ""});
        return 1;
    }
    const std::vector<MenuItem>& Items() const { return m_items; }
    void Clear() { m_items.clear(); }

  private:
    std::vector<MenuItem> m_items;
};
