#pragma once

// What one power action asks of its switch, built apart from running it so that it can be
// checked without one: the power daemon's request, uhubctl's arguments, a command's arguments.

#include <string>
#include <vector>

#include "station/PowerPlan.h"

// pdudaemon's request path and query: "/power/control/on?hostname=rack1&port=1", each value
// percent-encoded.
std::string PdudaemonTarget(const SlotSwitch& outlet, PowerAction action);

// uhubctl -l LOC -p N -a on|off
std::vector<std::string> UhubctlArgv(const SlotSwitch& outlet, PowerAction action);

// The job's template with {label}, {port} (the outlet's) and {action} ("on", "off") put in;
// each stays one argument whatever it holds, since no shell reads it.
std::vector<std::string> CommandArgv(const std::vector<std::string>& form, const std::string& label,
                                     const SlotSwitch& outlet, PowerAction action);

// "http://host:port" split for an HTTP client; false for anything else.
bool SplitHttpUrl(const std::string& url, std::string& host, int& port);
