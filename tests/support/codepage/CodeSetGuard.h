#pragma once

// Chooses a code set for the length of a test and returns to the locale's afterwards.

#include "platform/codepage/CodeSet.h"

class CodeSetGuard {
  public:
    explicit CodeSetGuard(CodeSet codeSet) { SetCodeSet(codeSet); }
    ~CodeSetGuard() { SetCodeSet(std::nullopt); }
    CodeSetGuard(const CodeSetGuard&) = delete;
    CodeSetGuard& operator=(const CodeSetGuard&) = delete;
};
