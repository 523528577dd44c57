#pragma once

// How a tty is put into the raw byte-stream mode the protocol needs, and how we check that the
// driver really did it. cfmakeraw is not enough: it leaves hardware flow control, HUPCL, INPCK,
// IXOFF and IXANY as the last user left them, and any of those silently changes or stalls the
// byte stream. tcsetattr succeeds when any one change applied, so the result is read back.

#include <termios.h>

#include "platform/base/SysResult.h"
#include "platform/comm/LineSettings.h"

// Fills `tio` for raw I/O with `settings`. InvalidSettings when a code or the rate is unusable.
SysResult MakeRawTermios(const LineSettings& settings, termios* tio);

// Applies `settings` to the open tty `fd`, then reads them back. Rejected when the driver kept
// something else than what was asked.
SysResult ApplyRawSettings(int fd, const LineSettings& settings);
