#pragma once

// A view that follows a window's state without polling: a host's widget, a test's recorder.
// Every notification comes after the state has changed, on the UI thread, from inside the call
// that changed it. An observer may remove itself (or another) while being told. An observer that
// goes first leaves the windows it watches, so the two may be destroyed in either order.

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/base/Win32Types.h"

class CWnd;

class WindowObserver {
  public:
    WindowObserver() = default;
    virtual ~WindowObserver();
    WindowObserver(const WindowObserver&) = delete;
    WindowObserver& operator=(const WindowObserver&) = delete;

    // The whole window text was replaced (WM_SETTEXT).
    virtual void OnTextChanged(CWnd&) {}
    // An edit or rich edit got `text` inserted at byte `position`, replacing `replacedLength`
    // bytes that were selected. An append is an insertion at the old end with nothing replaced,
    // so a view can add it without reading the rest of the text.
    virtual void OnTextInserted(CWnd&, std::size_t /*position*/, std::size_t /*replacedLength*/,
                                std::string_view /*text*/) {}
    virtual void OnScrolledToBottom(CWnd&) {}
    virtual void OnEnabledChanged(CWnd&) {}
    virtual void OnVisibleChanged(CWnd&) {}
    virtual void OnStyleChanged(CWnd&) {}
    virtual void OnCheckChanged(CWnd&) {}
    virtual void OnComboItemsChanged(CWnd&) {}
    virtual void OnComboSelectionChanged(CWnd&) {}
    virtual void OnIconChanged(CWnd&) {}
    virtual void OnPlacementChanged(CWnd&) {}
    // The window is going away; the observer is dropped afterwards without being told again.
    virtual void OnDestroyed(CWnd&) {}

  private:
    friend class CWnd;
    // The windows this observer is added to, by handle: a handle outlives subclassing.
    std::vector<HWND> m_observed;
};
