#pragma once

// `stavel --record-info FILE`: what support wants to know of a capture before replaying it: the
// box, its slot, its verdict, how many requests it made and its first and last ones.
//
//   capture   A1_20261207T130823.752Z_PASS.cap (format 1, 3187 bytes)
//   box       SN-0042
//   slot      A1 (/dev/pts/2)
//   verdict   PASS
//   image     /srv/line/release.sdl (65536 bytes, SHA-256 2f1a...)
//   started   2026-12-07T13:08:23.610Z
//   requests  19 (1 start, 1 time, 16 data, 1 exit)
//   first     0.212 s  STB_START
//   last      6.013 s  EXIT_APP
//   length    6.013 s
//
// A capture that stopped at its bound says so on a "stopped" line, and one cut short by a crash
// on a "cut" line; its verdict is then "none".
//
// Threading rules: none.

#include <string>

#include "platform/base/Result.h"

Result<std::string> CaptureSummaryText(const std::string& path);
