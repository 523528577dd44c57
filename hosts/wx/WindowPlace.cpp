#include "hosts/wx/WindowPlace.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "settings/AtomicFileWriter.h"
#include "settings/DecimalText.h"
#include "settings/IniLimits.h"
#include "settings/IniLine.h"
#include "settings/IniWriter.h"

namespace {

constexpr const char* kSection = "Window";
constexpr std::string_view kIniSuffix = ".ini";

std::optional<int> Number(const IniTable& table, const char* key, CodeSet codeSet) {
    const auto found = table.find(FoldIniKey(kSection, key, codeSet));
    if (found == table.end() || found->second.value.empty()) {
        return std::nullopt;
    }
    return ReadDecimal(found->second.value);
}

WindowPlace PlaceIn(const IniTable& table, CodeSet codeSet) {
    WindowPlace place;
    const std::optional<int> left = Number(table, "Left", codeSet);
    const std::optional<int> top = Number(table, "Top", codeSet);
    // An earlier version wrote -32768 for a place it did not know yet.
    place.placed = left && top && *left != -32768 && *top != -32768;
    if (place.placed) {
        place.left = *left;
        place.top = *top;
    }
    place.width = std::max(0, Number(table, "Width", codeSet).value_or(0));
    place.height = std::max(0, Number(table, "Height", codeSet).value_or(0));
    place.maximized = Number(table, "Maximized", codeSet).value_or(0) != 0;
    return place;
}

IniTable TableOf(const std::string& text, CodeSet codeSet) {
    IniTable table;
    std::string section;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        // In pieces, as the INI store reads its file.
        for (std::size_t at = 0; at == 0 || at < line.size(); at += kIniReadPiece) {
            ReadIniLine(std::string_view(line).substr(at, kIniReadPiece), section, table, codeSet);
        }
    }
    return table;
}

void Put(IniTable& table, const char* key, int value, CodeSet codeSet) {
    table[FoldIniKey(kSection, key, codeSet)] = IniEntry{kSection, key, std::to_string(value)};
}

}  // namespace

std::string WindowFilePath(const std::string& iniPath) {
    std::string stem = iniPath;
    if (stem.size() >= kIniSuffix.size() &&
        stem.compare(stem.size() - kIniSuffix.size(), kIniSuffix.size(), kIniSuffix) == 0) {
        stem.resize(stem.size() - kIniSuffix.size());
    }
    return stem + ".window.ini";
}

WindowPlace ChooseWindowPlace(const std::optional<std::string>& windowFileText, const IniTable& ini,
                              CodeSet codeSet) {
    return windowFileText ? PlaceIn(TableOf(*windowFileText, codeSet), codeSet)
                          : PlaceIn(ini, codeSet);
}

std::optional<std::string> ReadWindowFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WindowFileText(const WindowPlace& place, CodeSet codeSet) {
    IniTable table;
    if (place.placed) {
        Put(table, "Left", place.left, codeSet);
        Put(table, "Top", place.top, codeSet);
    }
    if (place.width > 0 && place.height > 0) {
        Put(table, "Width", place.width, codeSet);
        Put(table, "Height", place.height, codeSet);
    }
    Put(table, "Maximized", place.maximized ? 1 : 0, codeSet);
    return WriteIniText(table, codeSet);
}

SysResult WriteWindowFile(const std::string& path, const WindowPlace& place, CodeSet codeSet) {
    return ReplaceFileAtomically(path, WindowFileText(place, codeSet));
}
