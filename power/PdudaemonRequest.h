#pragma once

// One request to a pdudaemon over HTTP. pdudaemon answers only once it has run the request,
// but it answers 200 even when its driver failed: so an action counts as failed when the
// daemon cannot be reached, refuses the request (any other status), or does not answer within
// the bound. A driver's own failure shows only in pdudaemon's log.

#include <chrono>
#include <string>

#include "station/PowerControl.h"

PowerOutcome PdudaemonRequest(const std::string& url, const std::string& target,
                              std::chrono::milliseconds bound);
