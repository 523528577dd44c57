#include "platform/window/Wnd.h"

#include <algorithm>

#include "platform/gdi/GdiTypes.h"
#include "platform/host/Host.h"
#include "platform/window/WindowRegistry.h"

CWnd::~CWnd() {
    DestroyWindow();
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    return hwnd == kNoWindow ? nullptr : window_registry::Find(hwnd);
}

BOOL CWnd::Create(const CreateParams& params, CWnd* parent) {
    if (m_hWnd != kNoWindow) {
        return 0;
    }
    m_state = WindowState{};
    m_state.id = params.id;
    m_state.kind = params.kind;
    m_state.text = params.text;
    m_state.style = params.style;
    m_state.exStyle = params.exStyle;
    m_state.placement = params.placement;
    m_state.icon = params.icon;
    m_hWnd = window_registry::Register(this);
    if (parent != nullptr && parent->m_hWnd != kNoWindow) {
        m_state.parent = parent->m_hWnd;
        parent->m_state.children.push_back(m_hWnd);
    }
    return 1;
}

void CWnd::DestroyWindow() {
    if (m_hWnd == kNoWindow) {
        return;
    }
    // Children go first, as they do on screen; a child already destroyed is simply skipped.
    const std::vector<HWND> children = m_state.children;
    for (HWND child : children) {
        if (CWnd* window = FromHandle(child)) {
            window->DestroyWindow();
        }
    }
    NotifyObservers([this](WindowObserver& o) { o.OnDestroyed(*this); });
    for (WindowObserver* observer : m_state.observers) {
        std::erase(observer->m_observed, m_hWnd);
    }
    if (CWnd* parent = GetParent()) {
        std::erase(parent->m_state.children, m_hWnd);
    }
    window_registry::Unregister(m_hWnd);
    m_hWnd = kNoWindow;
    m_state = WindowState{};
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    CWnd* previous = FromHandle(hwnd);
    if (previous == nullptr || m_hWnd != kNoWindow) {
        return 0;
    }
    if (previous == this) {
        return 1;
    }
    m_state = std::move(previous->m_state);
    previous->m_state = WindowState{};
    previous->m_hWnd = kNoWindow;
    m_hWnd = hwnd;
    window_registry::Rebind(hwnd, this);
    return 1;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Remember the message for Default(); restored afterwards because handlers send messages.
    const MSG outer = m_current;
    m_current = MSG{m_hWnd, message, wParam, lParam};
    LRESULT result = 0;
    const MessageMap* map = GetMessageMap();
    const MessageMapEntry* entry = map != nullptr ? map->Find(message, wParam) : nullptr;
    if (entry != nullptr) {
        result = entry->thunk(*this, wParam, lParam);
    } else {
        result = DefWindowProc(message, wParam, lParam);
    }
    m_current = outer;
    return result;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

const MessageMap* CWnd::ThisMessageMap() {
    static const MessageMap kMap{};
    return &kMap;
}

const MessageMap* CWnd::GetMessageMap() const {
    return ThisMessageMap();
}

void CWnd::SetWindowText(const std::string& text) {
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string CWnd::GetWindowText() const {
    return m_state.text;
}

BOOL CWnd::EnableWindow(BOOL enable) {
    const BOOL wasDisabled = IsWindowEnabled() ? 0 : 1;
    const bool enabled = enable != 0;
    if ((wasDisabled == 0) != enabled) {
        m_state.style = enabled ? (m_state.style & ~WS_DISABLED) : (m_state.style | WS_DISABLED);
        NotifyObservers([this](WindowObserver& o) { o.OnEnabledChanged(*this); });
    }
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
    return (m_state.style & WS_DISABLED) == 0 ? 1 : 0;
}

BOOL CWnd::ShowWindow(int command) {
    const BOOL wasVisible = IsWindowVisible();
    const bool visible = command != SW_HIDE;
    if ((wasVisible != 0) != visible) {
        m_state.style = visible ? (m_state.style | WS_VISIBLE) : (m_state.style & ~WS_VISIBLE);
        NotifyObservers([this](WindowObserver& o) { o.OnVisibleChanged(*this); });
    }
    return wasVisible;
}

void CWnd::MoveWindow(const WindowPlacement& placement) {
    if (placement != m_state.placement) {
        m_state.placement = placement;
        NotifyObservers([this](WindowObserver& o) { o.OnPlacementChanged(*this); });
    }
}

BOOL CWnd::IsWindowVisible() const {
    return (m_state.style & WS_VISIBLE) != 0 ? 1 : 0;
}

BOOL CWnd::IsIconic() const {
    return (m_state.style & WS_MINIMIZE) != 0 ? 1 : 0;
}

DWORD CWnd::GetStyle() const {
    return m_state.style;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
    const DWORD style = (m_state.style & ~remove) | add;
    if (style == m_state.style) {
        return 0;
    }
    m_state.style = style;
    NotifyObservers([this](WindowObserver& o) { o.OnStyleChanged(*this); });
    return 1;
}

void CWnd::GetClientRect(RECT* rect) const {
    if (rect != nullptr) {
        *rect = RECT{0, 0, m_state.placement.cx, m_state.placement.cy};
    }
}

WindowPlacement CWnd::GetPlacement() const {
    return m_state.placement;
}

CWnd* CWnd::GetParent() const {
    return FromHandle(m_state.parent);
}

CWnd* CWnd::GetDlgItem(int id) const {
    for (HWND child : m_state.children) {
        CWnd* window = FromHandle(child);
        if (window != nullptr && window->m_state.id == id) {
            return window;
        }
    }
    return nullptr;
}

int CWnd::GetDlgCtrlID() const {
    return m_state.id;
}

ControlKind CWnd::GetKind() const {
    return m_state.kind;
}

CFont* CWnd::GetFont() const {
    // Through the message, as callers rely on: a subclass may answer WM_GETFONT itself.
    return reinterpret_cast<CFont*>(const_cast<CWnd*>(this)->SendMessage(WM_GETFONT));
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

const std::vector<HWND>& CWnd::GetChildren() const {
    return m_state.children;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, void*) {
    if (m_hWnd == kNoWindow) {
        return 0;
    }
    CurrentHost().SetTimer(m_hWnd, id, elapseMs);
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    if (m_hWnd == kNoWindow) {
        return 0;
    }
    CurrentHost().KillTimer(m_hWnd, id);
    return 1;
}

BOOL CWnd::RedrawWindow(const RECT*, CRgn*, UINT) {
    // The whole window is repainted at once, as RDW_UPDATENOW asks (the only caller's flags):
    // the paint is sent straight to the window, whose CPaintDC asks the host for a surface.
    if (m_hWnd == kNoWindow) {
        return 0;
    }
    SendMessage(WM_PAINT);
    return 1;
}

void CWnd::AddObserver(WindowObserver* observer) {
    if (observer != nullptr && std::find(m_state.observers.begin(), m_state.observers.end(),
                                         observer) == m_state.observers.end()) {
        m_state.observers.push_back(observer);
        observer->m_observed.push_back(m_hWnd);
    }
}

void CWnd::RemoveObserver(WindowObserver* observer) {
    if (std::erase(m_state.observers, observer) != 0) {
        std::erase(observer->m_observed, m_hWnd);
    }
}

WindowObserver::~WindowObserver() {
    // Copied: RemoveObserver edits the list while we walk it.
    const std::vector<HWND> observed = m_observed;
    for (HWND hwnd : observed) {
        if (CWnd* window = CWnd::FromHandle(hwnd)) {
            window->RemoveObserver(this);
        }
    }
}

LRESULT DispatchMessage(const MSG& msg) {
    CWnd* window = CWnd::FromHandle(msg.hwnd);
    return window == nullptr ? 0 : window->SendMessage(msg.message, msg.wParam, msg.lParam);
}
