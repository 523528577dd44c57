#pragma once

// Where an entry of the settings store lives: its section and key names folded to lower case, so
// that a name matches in any letter case. Keys order by section first, then by key, each compared
// as unsigned bytes (std::string's own order), so a file comes out grouped by folded section.

#include <compare>
#include <string>

struct IniKey {
    std::string section;
    std::string key;

    auto operator<=>(const IniKey&) const = default;
    bool operator==(const IniKey&) const = default;
};
