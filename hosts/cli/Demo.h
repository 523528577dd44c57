#pragma once

// `stavel --demo`: a whole download against the simulated box, in one process. The box runs on
// its own thread on a pseudo-terminal it creates; the tool serves it through the same main
// dialog as for a real box, and the run ends with the box's verdict.

#include <functional>
#include <optional>
#include <string>

class SlotSession;

struct DemoOptions {
    bool fast = false;                 // not paced at 115200 baud
    std::optional<std::string> image;  // default: a generated image of about 192 KiB
    bool debug = false;
    bool quiet = false;  // no progress line
    // The session under way, then null: where the host's signals reach it.
    std::function<void(SlotSession*)> running;
};

int RunDemo(const DemoOptions& options);
