#pragma once

// The messages the serial link posts to its owner window.

#include "platform/base/Win32Types.h"

// After each drain of the port (wParam 0, lParam 0). It carries no data: the bytes are in the
// link's ring buffer, and a notification may find it already emptied.
inline constexpr UINT WM_COMM_RECEIVED = WM_USER + 1;

// Once, when the port is lost (hang-up, EIO, the device unplugged): the watch thread has ended
// and the link no longer counts as open. The owner should stop and Close the link.
inline constexpr UINT WM_COMM_LOST = WM_USER + 2;
