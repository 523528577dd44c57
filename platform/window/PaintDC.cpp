#include "platform/window/PaintDC.h"

#include "platform/host/Host.h"
#include "platform/window/Wnd.h"

CPaintDC::CPaintDC(CWnd* window) {
    if (window == nullptr || window->m_hWnd == kNoWindow) {
        return;
    }
    m_surface = CurrentHost().BeginPaint(window->m_hWnd);
    if (m_surface != nullptr) {
        Attach(m_surface.get());
        window->SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(static_cast<CDC*>(this)));
    }
}

CPaintDC::~CPaintDC() {
    // The surface is the paint's own: let go of it here, which ends the paint.
    Detach();
    m_surface.reset();
}
