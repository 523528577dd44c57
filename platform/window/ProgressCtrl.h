#pragma once

// A progress bar. Its standard answers keep range, position and step; a subclass that paints
// itself replaces them through its own message map.

#include "platform/window/Wnd.h"

class CProgressCtrl : public CWnd {
  public:
    void SetRange32(int lower, int upper) {
        SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    }
    int SetPos(int position) {
        return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
    }
    int GetPos() const {
        return static_cast<int>(const_cast<CProgressCtrl*>(this)->SendMessage(PBM_GETPOS));
    }
    int SetStep(int step) {
        return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
    }
    int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};
