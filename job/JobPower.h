#pragma once

// A job's power control and retries, read and checked with their lines: [power] (the switch's
// backend, its timing and bound), each slot's outlet (`A1 = { port = "...", power = {...} }`),
// and the keys retries, retry_on and take_out_after. See station/PowerPlan.h and
// station/RetryPolicy.h for what they mean.
//
//   retries = 1
//   retry_on = ["box-stalled", "box-silent"]
//   take_out_after = 3
//   [power]
//   backend = "pdudaemon"          # or "uhubctl", "command", "dtr", "rts"
//   url = "http://127.0.0.1:16421"
//   off_seconds = 3
//   on_start = true
//   off_after = "fail"             # "never", "fail" or "always"
//   [slots]
//   A1 = { port = "/dev/serial/by-path/...", power = { hostname = "rack1", port = 1 } }

#include <toml++/toml.h>

#include "job/Job.h"
#include "job/JobReader.h"

Result<void> ReadJobPower(const JobReader& in, const toml::table& table, Job& job);

// A slot given as a table: its port, and its outlet under `power`.
Result<void> ReadSlotTable(const JobReader& in, const std::string& label, const toml::table& table,
                           std::string& port, std::optional<SlotSwitch>& power);

// retries, retry_on and take_out_after.
Result<void> ReadRetryKey(const JobReader& in, const std::string& key, const toml::node& node,
                          Job& job);

// Once the whole file is read: every slot has the outlet its backend needs, no slot names one
// without a [power], retries go with retry_on.
Result<void> CheckJobPower(const JobReader& in, const Job& job);
