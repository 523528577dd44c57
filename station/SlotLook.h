#pragma once

// How a slot looks wherever it is shown (the desktop station's tiles, the board in a browser,
// the station's table, --watch): its large word with a symbol and a tone, so that colour is never
// the only sign, its progress with the time left, the box's id, the reason, and its passes and
// fails.
//
// The large word is the last box's verdict, with its reason, until the next box begins; what the
// slot does meanwhile (its port gone, a box that talks and asks for nothing) is a note beneath
// it. With no verdict to keep, the word is the slot's state, and the reason why it is held up
// (the port's problem, a talking box's hint) is its detail.

#include <string>

#include "download/SlotStatus.h"

enum class SlotTone { Idle, Busy, Pass, Fail, Warn };

struct SlotLook {
    std::string word;    // "LOADING", "PASS", "FAIL", ...
    std::string symbol;  // one character, UTF-8: "▶", "✔", "✘", ...
    SlotTone tone = SlotTone::Idle;
    bool bar = false;      // a progress bar is shown
    int percent = 0;       // 0..100, with bar
    std::string progress;  // "43 %, 0:12 left", "43 %, stalled 6 s"; empty without a box in hand
    std::string boxId;     // "box SN4711"; empty when none is known
    std::string detail;    // why the box failed, or why the slot is held up, in full; or empty
    std::string note;      // beneath a kept verdict: the slot now ("⚠ no port: ..."); or empty
    std::string counts;    // "3 passed, 1 failed"
    // With a job that requires scans: what the slot's scan is ("scan next", "waits for a
    // scan", "scanned SN4711"), and whether the next scan goes to it (the tile stands out).
    std::string scan;
    bool scanNext = false;
};

SlotLook LookOf(const SlotStatus& status);

// "FAIL port lost at 23 % (5.2 s)", "PASS": a verdict with its reason, on one line.
std::string VerdictText(const LastVerdict& verdict);
// What holds the slot up now, on one line: "⚠ no port: /dev/pts/1: read: Input/output error",
// "⚠ port busy: ...", "⚠ port lost: ...", "⚠ no request: is it in download mode?"; failing
// those, the run's warning ("⚠ unit pool low: ..."); empty when nothing does.
std::string TroubleText(const SlotStatus& status);
// "stalled 6 s", or empty while the box is not stalled.
std::string StalledText(const ProgressFigures& figures);
// "75%", or "–" while no box has been judged.
// The first-pass yield the same way: boxes that passed at their first attempt over those judged.
std::string FirstPassText(int firstPasses, int passes, int fails);
std::string YieldText(int passes, int fails);

// "0:12", "1:02:03": a time left in seconds; "" when unknown.
std::string TimeLeft(double seconds);
