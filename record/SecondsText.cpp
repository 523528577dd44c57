#include "record/SecondsText.h"

#include <cmath>
#include <cstdio>

std::string SecondsText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        seconds = 0;
    }
    // Rounded to tenths first: 9.96 s is "10 s", not "10.0 s".
    const double tenths = std::round(seconds * 10) / 10;
    char text[48];
    if (tenths < 10) {
        std::snprintf(text, sizeof text, "%.1f s", tenths);
    } else {
        std::snprintf(text, sizeof text, "%.0f s", std::round(seconds));
    }
    return text;
}
