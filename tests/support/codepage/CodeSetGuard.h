#pragma once

// Code sets in tests: one chosen for the length of a test, and code page 949 characters that
// catch byte-wise handling.

#include <string>

#include "platform/codepage/CodeSet.h"

// Chooses a code set for the length of a test and returns to the locale's afterwards.
class CodeSetGuard {
  public:
    explicit CodeSetGuard(CodeSet codeSet) { SetCodeSet(codeSet); }
    ~CodeSetGuard() { SetCodeSet(std::nullopt); }
    CodeSetGuard(const CodeSetGuard&) = delete;
    CodeSetGuard& operator=(const CodeSetGuard&) = delete;
};

// "가" in code page 949 is B0 A1. 0x81 0x41 is a character of the extended part whose trail byte
// is an ASCII capital 'A'; 0x81 0x5C hides a backslash, 0x81 0x3D an "=".
inline const std::string kGa = "\xB0\xA1";
inline const std::string kTrailA = "\x81\x41";
inline const std::string kTrailBackslash = "\x81\x5C";
inline const std::string kTrailEquals = "\x81\x3D";
