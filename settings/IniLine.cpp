#include "settings/IniLine.h"

#include "platform/codepage/MultiByte.h"

bool IsIniBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view TrimIniBlanks(std::string_view text) {
    while (!text.empty() && IsIniBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsIniBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

IniKey FoldIniKey(std::string_view section, std::string_view key, CodeSet codeSet) {
    return IniKey{FoldLower(section, codeSet), FoldLower(key, codeSet)};
}

void ReadIniLine(std::string_view line, std::string& currentSection, IniTable& table,
                 CodeSet codeSet) {
    line = TrimIniBlanks(line);
    if (line.empty()) {
        return;
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        currentSection.assign(line.substr(1, line.size() - 2));
        return;
    }
    const std::size_t equals = FindFirstChar(line, '=', codeSet);
    if (equals == std::string_view::npos || equals == 0) {
        return;
    }
    const std::string_view key = line.substr(0, equals);
    IniEntry& entry = table[FoldIniKey(currentSection, key, codeSet)];
    entry.section = currentSection;
    entry.key.assign(key);
    entry.value.assign(line.substr(equals + 1));
}
