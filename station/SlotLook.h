#pragma once

// How a slot looks wherever it is shown large (the desktop station's tiles, a board in a
// browser): its state as a word, a symbol and a tone, so that colour is never the only sign, its
// progress with the time left, the box's id, why it failed, and its passes and fails.

#include <string>

#include "download/SlotStatus.h"

enum class SlotTone { Idle, Busy, Pass, Fail, Warn };

struct SlotLook {
    std::string word;    // "LOADING", "PASS", "FAIL", ...
    std::string symbol;  // one character, UTF-8: "▶", "✔", "✘", ...
    SlotTone tone = SlotTone::Idle;
    bool bar = false;      // a progress bar is shown
    int percent = 0;       // 0..100, with bar
    std::string progress;  // "43 %, 0:12 left"; empty without a box in hand
    std::string boxId;     // "box SN4711"; empty when none is known
    std::string detail;    // why the box failed or the port is out, in full; empty otherwise
    std::string counts;    // "3 passed, 1 failed"
};

SlotLook LookOf(const SlotStatus& status);

// "0:12", "1:02:03": a time left in seconds; "" when unknown.
std::string TimeLeft(double seconds);
