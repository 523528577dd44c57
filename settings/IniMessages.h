#pragma once

// The store's two failure texts, in the active code set (they are kept here as UTF-8).

#include <string>

#include "platform/codepage/CodeSet.h"

// "The file name is missing."
std::string IniMissingFileNameMessage(CodeSet codeSet);

// "The file (<path>) cannot be opened." The path's bytes are put in as they are.
std::string IniCannotOpenMessage(const std::string& path, CodeSet codeSet);
