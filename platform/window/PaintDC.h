#pragma once

// The device context of one WM_PAINT: it draws into the surface the host makes for the window
// (Host::BeginPaint) and ends the paint when it goes. Like BeginPaint on Windows it first has the
// window erase its background (WM_ERASEBKGND, with this context). When the host cannot paint the
// window now, the context has no output (m_hDC null) and drawing through it does nothing.

#include <memory>

#include "platform/gdi/DC.h"

class CWnd;

class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC() override;

  private:
    std::unique_ptr<DeviceContext> m_surface;
};
