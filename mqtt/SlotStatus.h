#pragma once

// A slot's state as its state topic carries it: a small JSON object,
// {"state":"loading","percent":42,"rate":11520,"eta":31,"passes":3,"fails":0,"aborts":0}, rate
// in bytes per second, eta in seconds (null when not known).

#include <string>

#include "download/SlotStatus.h"

std::string SlotStatusJson(const SlotStatus& status);
