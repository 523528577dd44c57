#pragma once

// A progress bar. The system's only one paints itself and keeps range, position and step in its
// own message map (CTextProgressCtrl), so the standard control has no state of its own here.

#include "platform/window/Wnd.h"

class CProgressCtrl : public CWnd {};
