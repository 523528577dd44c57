#pragma once

// "13:02:11": when something happened, in the time of the one reading it.

#include <ctime>
#include <string>

std::string LocalClock(std::time_t when);
