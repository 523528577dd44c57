// The standard answers of each kind of window: what a message gets when no message map entry
// handles it.

#include <algorithm>
#include <cstring>

#include "platform/window/Wnd.h"

namespace {

bool IsTextKind(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::RichEdit;
}

bool IsButtonKind(ControlKind kind) {
    return kind == ControlKind::Button || kind == ControlKind::CheckBox;
}

}  // namespace

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT:
        case WM_GETTEXT:
        case WM_GETTEXTLENGTH:
            return DefaultText(message, wParam, lParam);
        case WM_SETFONT:
            m_state.font = reinterpret_cast<CFont*>(wParam);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(m_state.font);
        case WM_ERASEBKGND:
        case WM_ICONERASEBKGND:
            // The host draws backgrounds when it paints; nothing is left to erase.
            return 1;
        case WM_SETICON:
        case STM_SETICON:
        case STM_GETICON:
            return DefaultIcon(message, wParam, lParam);
        case WM_VSCROLL:
            if (IsTextKind(m_state.kind) && LOWORD(wParam) == SB_BOTTOM) {
                NotifyObservers([this](WindowObserver& o) { o.OnScrolledToBottom(*this); });
            }
            return 0;
        default:
            break;
    }
    if (IsButtonKind(m_state.kind)) {
        return DefaultButton(message, wParam, lParam);
    }
    switch (m_state.kind) {
        case ControlKind::ComboBox:
            return DefaultCombo(message, wParam, lParam);
        case ControlKind::Edit:
        case ControlKind::RichEdit:
            return DefaultEdit(message, wParam, lParam);
        default:
            return 0;
    }
}

LRESULT CWnd::DefaultText(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_GETTEXTLENGTH) {
        return static_cast<LRESULT>(m_state.text.size());
    }
    if (message == WM_GETTEXT) {
        // wParam is the buffer's size including the terminating NUL.
        char* buffer = reinterpret_cast<char*>(lParam);
        if (buffer == nullptr || wParam == 0) {
            return 0;
        }
        const std::size_t n = std::min<std::size_t>(m_state.text.size(), wParam - 1);
        std::memcpy(buffer, m_state.text.data(), n);
        buffer[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    const char* text = reinterpret_cast<const char*>(lParam);
    m_state.text = text != nullptr ? text : "";
    m_state.selStart = m_state.selEnd = 0;
    NotifyObservers([this](WindowObserver& o) { o.OnTextChanged(*this); });
    return 1;
}

LRESULT CWnd::DefaultIcon(UINT message, WPARAM wParam, LPARAM lParam) {
    HICON* slot = &m_state.icon;
    HICON icon = static_cast<HICON>(lParam);
    if (message == WM_SETICON && wParam == ICON_SMALL) {
        slot = &m_state.smallIcon;
    } else if (message == STM_SETICON) {
        icon = static_cast<HICON>(wParam);
    } else if (message == STM_GETICON) {
        return static_cast<LRESULT>(m_state.icon);
    }
    const HICON old = *slot;
    *slot = icon;
    NotifyObservers([this](WindowObserver& o) { o.OnIconChanged(*this); });
    return static_cast<LRESULT>(old);
}

LRESULT CWnd::DefaultButton(UINT message, WPARAM wParam, LPARAM) {
    if (message == BM_GETCHECK) {
        return m_state.check;
    }
    if (message == BM_SETCHECK) {
        SetCheckState(static_cast<int>(wParam));
    }
    return 0;
}

void CWnd::SetCheckState(int check) {
    if (m_state.check != check) {
        m_state.check = check;
        NotifyObservers([this](WindowObserver& o) { o.OnCheckChanged(*this); });
    }
}

LRESULT CWnd::DefaultCombo(UINT message, WPARAM wParam, LPARAM lParam) {
    auto& items = m_state.items;
    const auto count = static_cast<LRESULT>(items.size());
    const auto index = static_cast<LRESULT>(static_cast<std::intptr_t>(wParam));
    const char* text = reinterpret_cast<const char*>(lParam);
    auto itemsChanged = [this] {
        NotifyObservers([this](WindowObserver& o) { o.OnComboItemsChanged(*this); });
    };
    switch (message) {
        case CB_GETCOUNT:
            return count;
        case CB_GETCURSEL:
            return m_state.curSel;
        case CB_SETCURSEL:
            // An index outside the list clears the selection and reports CB_ERR.
            SetComboSelection(index >= 0 && index < count ? static_cast<int>(index) : -1);
            return index >= 0 && index < count ? index : CB_ERR;
        case CB_INSERTSTRING: {
            // -1 appends; any other index past the end fails.
            const LRESULT at = index == -1 ? count : index;
            if (at < 0 || at > count) {
                return CB_ERR;
            }
            items.insert(items.begin() + at, text != nullptr ? text : "");
            if (m_state.curSel >= at) {
                ++m_state.curSel;
            }
            itemsChanged();
            return at;
        }
        case CB_GETLBTEXTLEN:
            return index >= 0 && index < count ? static_cast<LRESULT>(items[index].size()) : CB_ERR;
        case CB_GETLBTEXT: {
            if (index < 0 || index >= count) {
                return CB_ERR;
            }
            // The caller's buffer must hold CB_GETLBTEXTLEN + 1 bytes, as with the real control.
            char* buffer = reinterpret_cast<char*>(lParam);
            if (buffer != nullptr) {
                std::memcpy(buffer, items[index].c_str(), items[index].size() + 1);
            }
            return static_cast<LRESULT>(items[index].size());
        }
        default:
            return 0;
    }
}

void CWnd::SetComboSelection(int index) {
    if (m_state.curSel != index) {
        m_state.curSel = index;
        NotifyObservers([this](WindowObserver& o) { o.OnComboSelectionChanged(*this); });
    }
}

LRESULT CWnd::DefaultEdit(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case EM_SETSEL:
            SetSelection(static_cast<LPARAM>(wParam), lParam);
            return 0;
        case EM_GETSEL:
            return MAKELPARAM(static_cast<WORD>(m_state.selStart),
                              static_cast<WORD>(m_state.selEnd));
        case EM_REPLACESEL: {
            // wParam (undo or not) does not matter: this control keeps no undo history.
            const char* text = reinterpret_cast<const char*>(lParam);
            ReplaceSelection(text != nullptr ? std::string_view(text) : std::string_view());
            return 0;
        }
        default:
            return 0;
    }
}

void CWnd::SetSelection(LPARAM start, LPARAM end) {
    const std::size_t size = m_state.text.size();
    if (start == -1) {
        // No selection: the insertion point goes to the end, where the next insertion appends.
        m_state.selStart = m_state.selEnd = size;
        return;
    }
    auto clamp = [size](LPARAM v) {
        return v < 0 ? size : std::min<std::size_t>(static_cast<std::size_t>(v), size);
    };
    std::size_t s = clamp(start);
    std::size_t e = clamp(end);
    m_state.selStart = std::min(s, e);
    m_state.selEnd = std::max(s, e);
}

void CWnd::ReplaceSelection(std::string_view text) {
    const std::size_t at = m_state.selStart;
    const std::size_t replaced = m_state.selEnd - m_state.selStart;
    if (replaced == 0 && at == m_state.text.size()) {
        m_state.text.append(text);  // the common case: amortised O(1) per byte
    } else {
        m_state.text.replace(at, replaced, text);
    }
    m_state.selStart = m_state.selEnd = at + text.size();
    NotifyObservers([&](WindowObserver& o) { o.OnTextInserted(*this, at, replaced, text); });
}
