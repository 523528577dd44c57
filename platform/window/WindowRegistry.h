#pragma once

// The process's table from window handle to the object that handles its messages. Handles are
// never reused, so a stale handle finds nothing instead of a stranger.
//
// Threading rules: guarded by a mutex so that a lookup from any thread is safe; in practice
// windows are made and found on the UI thread.

#include "platform/base/Win32Types.h"

class CWnd;

namespace window_registry {

HWND Register(CWnd* window);
// Points an existing handle at another object (subclassing).
void Rebind(HWND hwnd, CWnd* window);
void Unregister(HWND hwnd);
CWnd* Find(HWND hwnd);

}  // namespace window_registry
