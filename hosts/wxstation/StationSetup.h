#pragma once

// What the desktop station serves: a job file, or ports and an image given on its command line
// (`-p A1=PORT ... -i IMAGE`), as a job without a name. From it come the header's facts and the
// station's configuration, the same the command line's station would run.

#include <optional>
#include <string>

#include "job/Job.h"
#include "platform/base/Result.h"
#include "station/Station.h"

struct StationSetup {
    Job job;                  // name empty: ports from the command line, nothing locked
    std::string imageSha256;  // the image's hash when it was read; empty when it cannot be
    std::string slotProgram;  // the `stavel` that serves each slot
    std::string logDir;       // the job's, or the station's own folder
};

// Reads the job; fails with its line, as `stavel --job` does.
Result<StationSetup> SetupFromJob(const std::string& jobFile, const std::string& slotProgram);
// A station of the ports given (each "[LABEL=]PORT") serving `image`.
Result<StationSetup> SetupFromPorts(const std::vector<std::string>& ports, const std::string& image,
                                    const std::string& slotProgram);

// The station's configuration for a shift: box after box on every slot, until stopped or, with
// `boxesPerSlot`, until each slot has judged that many.
StationConfig ConfigFor(const StationSetup& setup, const std::optional<std::string>& operatorName,
                        int boxesPerSlot = 0);
