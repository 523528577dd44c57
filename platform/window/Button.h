#pragma once

// A push button or check box.

#include "platform/window/Wnd.h"

class CButton : public CWnd {
  public:
    int GetCheck() const { return static_cast<int>(Self().SendMessage(BM_GETCHECK)); }

  private:
    CButton& Self() const { return const_cast<CButton&>(*this); }
};
