#pragma once

// The way back from a code set to UTF-8, so that a test can read a text the system converted for
// the locale.

#include <string>
#include <string_view>

#include "platform/codepage/CodeSet.h"

// `bytes` in `codeSet` as UTF-8; a byte that is not a valid character becomes U+FFFD.
std::string ToUtf8(std::string_view bytes, CodeSet codeSet);
