#pragma once

// A job's settings as the command line's options: the job decides what the operator may not.

#include "hosts/cli/CliOptions.h"
#include "job/Job.h"

void ApplyJob(const Job& job, CliOptions& options);
