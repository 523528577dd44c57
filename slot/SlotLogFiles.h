#pragma once

// Which files of a station's log folder hold a slot's boxes: the box in hand's hidden file, which
// grows, and the last judged box's, by its name's UTC start. A viewer follows the first while a
// box loads and shows the second once it is judged.

#include <optional>
#include <string>

struct SlotLogs {
    std::optional<std::string> inHand;
    std::optional<std::string> last;
};

SlotLogs SlotLogFiles(const std::string& dir, const std::string& slot);
