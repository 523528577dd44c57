#pragma once

// A drop-down list.

#include <string>

#include "platform/window/Wnd.h"

class CComboBox : public CWnd {
  public:
    int GetCount() const { return static_cast<int>(Self().SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(Self().SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int AddString(const std::string& text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, Text(text)));
    }
    int InsertString(int index, const std::string& text) {
        return static_cast<int>(
            SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index), Text(text)));
    }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    // The text of entry `index`, or an empty text when there is no such entry.
    std::string GetLBText(int index) const {
        const LRESULT length = Self().SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
        if (length < 0) {
            return {};
        }
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        Self().SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                           reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(length));
        return text;
    }
    // All entries, for views.
    const std::vector<std::string>& Items() const { return State().items; }

  private:
    static LPARAM Text(const std::string& text) { return reinterpret_cast<LPARAM>(text.c_str()); }
    CComboBox& Self() const { return const_cast<CComboBox&>(*this); }
};
