#pragma once

// Why a port could not be opened, in the system's words ("open /dev/ttyUSB3: Permission
// denied"), for a box's verdict. The serial link reports only that it failed, so the reason is
// found by trying the same steps once more; a port that opens this time is let go at once.
//
// Threading rules: UI thread, after the link's Open has failed and while it holds no port.

#include <string>

std::string PortOpenError(const std::string& portName);
