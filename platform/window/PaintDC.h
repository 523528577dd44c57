#pragma once

// The device context of one WM_PAINT: it draws into the surface the host gives for the window
// (Host::BeginPaint) and hands it back when it goes (Host::EndPaint). When the host cannot paint
// the window now, the context has no output (m_hDC null) and drawing through it does nothing.

#include "platform/gdi/DC.h"

class CWnd;

class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* window);
    ~CPaintDC() override;

  private:
    // The window whose paint began, or kNoWindow when none did.
    HWND m_hWndPainted{};
};
