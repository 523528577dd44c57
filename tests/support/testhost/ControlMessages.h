#pragma once

// What tests ask of controls and tell them, as the messages the system's code sends; the
// controls keep no wrappers that only tests would call.

#include <string>

#include "platform/window/Wnd.h"

inline int ComboCount(CWnd& combo) {
    return static_cast<int>(combo.SendMessage(CB_GETCOUNT));
}

inline int ComboSelection(CWnd& combo) {
    return static_cast<int>(combo.SendMessage(CB_GETCURSEL));
}

// The text of entry `index`, or an empty text when there is no such entry.
inline std::string ComboText(CWnd& combo, int index) {
    const LRESULT length = combo.SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0) {
        return {};
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    combo.SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

inline void SetCheck(CWnd& button, WPARAM check) {
    button.SendMessage(BM_SETCHECK, check);
}
