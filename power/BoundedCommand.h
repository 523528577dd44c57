#pragma once

// A power switch's program (uhubctl, a job's command) run straight from its argv, without a
// shell, within a bound: one that has not ended by then is killed, with all it started, and
// its action counts as failed. Its output is kept only to say why it failed.

#include <chrono>
#include <string>
#include <vector>

#include "station/PowerControl.h"

PowerOutcome RunBounded(const std::vector<std::string>& argv, std::chrono::milliseconds bound);
