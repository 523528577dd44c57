#pragma once

// `stavel --station-ctl NAME put-back A3 | take-out A3 | finish | status`: a request to a running
// station on this PC through its control socket (station/StationControl.h). The reply goes to
// standard output; anything wrong (no station of that name running, an unknown slot, an unknown
// command) is one line on standard error and status 2.

#include <string>
#include <vector>

// `args` follow --station-ctl; answers the exit status.
int RunStationCtl(const std::vector<std::string>& args);
