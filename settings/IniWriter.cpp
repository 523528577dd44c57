#include "settings/IniWriter.h"

#include <optional>
#include <string_view>

#include "platform/codepage/MultiByte.h"
#include "settings/IniLimits.h"
#include "settings/IniLine.h"

namespace {

constexpr std::string_view kLineEnd = "\r\n";

bool HoldsLineBreakOrNul(std::string_view text) {
    return text.find('\n') != std::string_view::npos || text.find('\0') != std::string_view::npos;
}

bool SectionWritable(std::string_view section) {
    return !HoldsLineBreakOrNul(section) && section.size() + 2 <= kIniMaxWrittenLine;
}

// A key that ends in a lead byte without its trail byte would take the "=" as that trail byte
// when the line is read again.
bool EndsInLoneLeadByte(std::string_view text, CodeSet codeSet) {
    std::size_t pos = 0;
    std::size_t last = 0;
    while (pos < text.size()) {
        last = pos;
        pos += CharLength(text, pos, codeSet);
    }
    return !text.empty() && IsLeadByte(static_cast<unsigned char>(text[last]), codeSet) &&
           pos - last == 1;
}

bool KeyWritable(std::string_view key, CodeSet codeSet) {
    return !key.empty() && !EndsInLoneLeadByte(key, codeSet) && !IsIniBlank(key.front()) &&
           !HoldsLineBreakOrNul(key) &&
           FindFirstChar(key, '=', codeSet) == std::string_view::npos &&
           key.size() + 1 <= kIniMaxWrittenLine;
}

// The entry's line without its line end, or nothing when the entry cannot be written.
std::optional<std::string> EntryLine(const IniEntry& entry, CodeSet codeSet) {
    if (!SectionWritable(entry.section) || !KeyWritable(entry.key, codeSet)) {
        return std::nullopt;
    }
    std::string_view value = entry.value;
    value = value.substr(0, std::min(value.find('\n'), value.find('\0')));
    const std::size_t room = kIniMaxWrittenLine - entry.key.size() - 1;
    value = value.substr(0, CharBoundaryAtOrBefore(value, room, codeSet));
    std::string line = entry.key + "=" + std::string(value);
    if (line.front() == '[' && TrimIniBlanks(line).back() == ']') {
        return std::nullopt;
    }
    return line;
}

}  // namespace

std::string WriteIniText(const IniTable& table, CodeSet codeSet) {
    std::string text;
    std::string previousHeader;
    int written = 0;
    for (const auto& [folded, entry] : table) {
        const std::optional<std::string> line = EntryLine(entry, codeSet);
        if (!line) {
            continue;
        }
        ++written;
        if (!entry.section.empty() && entry.section != previousHeader) {
            if (written > 1) {
                text.append(kLineEnd).append(kLineEnd);
            }
            text.append("[").append(entry.section).append("]").append(kLineEnd);
            previousHeader = entry.section;
        }
        text.append(*line).append(kLineEnd);
    }
    text.append(kLineEnd).append(kLineEnd);
    return text;
}
