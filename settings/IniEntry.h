#pragma once

// One setting as the store keeps it: the section and key as they were last written (by the file
// or by a caller), and the value, which may be empty.

#include <map>
#include <string>

#include "settings/IniKey.h"

struct IniEntry {
    std::string section;
    std::string key;
    std::string value;

    bool operator==(const IniEntry&) const = default;
};

// The store's table. Invariant: folding an entry's section and key gives the IniKey it is under.
using IniTable = std::map<IniKey, IniEntry>;
