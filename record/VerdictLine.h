#pragma once

// A box's verdict in one line for the operator, made from its record alone, so that every host
// and the station say it the same way.

#include <string>

#include "record/BoxRecord.h"

// "PASS", "FAIL" or "ABORTED": the verdict as the operator reads it, in every view.
const char* VerdictWord(BoxResult result);

// "COM7 (/dev/ttyUSB3): PASS 196608 bytes in 17.1 s, sha256 3f2a9c1e5b7d…",
// "COM7 (/dev/ttyUSB3): FAIL port lost at 25 % (41 s)" or
// "COM7 (/dev/ttyUSB3): ABORTED stopped by the operator"; `port` names the box's place.
std::string VerdictLine(const std::string& port, const BoxRecord& record);
