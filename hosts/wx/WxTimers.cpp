#include "hosts/wx/WxTimers.h"

#include <algorithm>

#include <wx/timer.h>

#include "hosts/wx/WxHost.h"
#include "platform/window/Wnd.h"

namespace {

class WindowTimer : public wxTimer {
  public:
    WindowTimer(HWND hwnd, UINT_PTR id) : m_hwnd(hwnd), m_id(id) {}

    void Notify() override {
        CWnd* window = CWnd::FromHandle(m_hwnd);
        if (window == nullptr) {
            Stop();
            return;
        }
        window->SendMessage(WM_TIMER, m_id, 0);
        WxHost::AfterInput();
    }

  private:
    HWND m_hwnd;
    UINT_PTR m_id;
};

}  // namespace

WxTimers::WxTimers() = default;

WxTimers::~WxTimers() {
    KillAll();
}

void WxTimers::Set(HWND hwnd, UINT_PTR id, UINT periodMs) {
    auto& timer = m_timers[{hwnd, id}];
    if (timer == nullptr) {
        timer = std::make_unique<WindowTimer>(hwnd, id);
    }
    timer->Start(static_cast<int>(std::max<UINT>(periodMs, 1)));
}

void WxTimers::Kill(HWND hwnd, UINT_PTR id) {
    m_timers.erase({hwnd, id});
}

void WxTimers::KillAll() {
    m_timers.clear();
}
