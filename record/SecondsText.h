#pragma once

// How long something took, as the operator reads it in a reason or a verdict line: tenths below
// 10 s ("0.3 s", "1.7 s"), whole seconds from there on ("41 s"), rounded, never cut, so that a
// session of 1.7 s never reads "1 s". Records keep the exact figure; this is for the eye.

#include <string>

// "1.7 s", "41 s"; a negative or unknown time reads "0.0 s".
std::string SecondsText(double seconds);
