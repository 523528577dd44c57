#include "platform/window/PaintDC.h"

#include "platform/host/Host.h"
#include "platform/window/Wnd.h"

CPaintDC::CPaintDC(CWnd* window) : m_hWndPainted(window != nullptr ? window->m_hWnd : kNoWindow) {
    if (m_hWndPainted == kNoWindow) {
        return;
    }
    CDC* surface = CurrentHost().BeginPaint(m_hWndPainted);
    if (surface != nullptr && surface->m_hDC != nullptr) {
        Attach(surface->m_hDC);
        m_hAttribDC = surface->m_hAttribDC != nullptr ? surface->m_hAttribDC : surface->m_hDC;
        m_bPrinting = surface->m_bPrinting;
    }
}

CPaintDC::~CPaintDC() {
    // Borrowed: let go of the surface without deleting it, then tell the host we are done.
    if (m_hDC != nullptr) {
        Detach();
    }
    m_hAttribDC = nullptr;
    if (m_hWndPainted != kNoWindow) {
        CurrentHost().EndPaint(m_hWndPainted);
    }
}
