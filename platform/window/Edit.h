#pragma once

// A single-line edit field; its text is the window text.

#include "platform/window/Wnd.h"

class CEdit : public CWnd {};
