#pragma once

// A drop-down list. Its list and selection are the window's standard state, reached through the
// CB_* messages.

#include "platform/window/Wnd.h"

class CComboBox : public CWnd {};
