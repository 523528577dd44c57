#pragma once

// A box record as one line of JSON Lines: a single object with the keys the production line's
// software reads, ending in "\n". Strings are escaped as JSON requires; bytes that are not
// UTF-8 (a path is any bytes) become U+FFFD, so that every line is valid JSON.

#include <chrono>
#include <string>
#include <string_view>

#include "record/BoxRecord.h"

std::string BoxRecordLine(const BoxRecord& record);

// "2026-12-07T02:31:07.120Z".
std::string IsoUtcMillis(std::chrono::system_clock::time_point when);
// The JSON string literal of `text`, quotes included.
std::string JsonString(std::string_view text);
