#pragma once

// The routine of the link's watch thread. It sleeps until bytes arrive, drains the port in
// reads of at most 2048 bytes into the link's ring buffer, storing a read only when all of it
// fits (otherwise "buff full" and the read is dropped), and posts one WM_COMM_RECEIVED per
// drain. It runs while the link's m_bOpen is set. When the port is lost it clears m_bOpen,
// posts WM_COMM_LOST once and ends instead of spinning on a dead descriptor.
//
// Returns the exit code: 1 after a stop (or a loss), 0 when it could not start; then it has
// shown "Error while creating ThreadWatchComm, " followed by the port name.

#include "platform/base/Win32Types.h"

class CSerialLink;

DWORD ThreadWatchComm(CSerialLink* link);
