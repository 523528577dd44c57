#include "hosts/wxstation/StationSettings.h"

#include <unistd.h>

#include <wx/display.h>
#include <wx/toplevel.h>

#include <charconv>
#include <filesystem>

#include "settings/IniLocation.h"

std::string StationSettingsPath(const std::string& programFolder) {
    const std::string name = "Stavel_Station.ini";
    if (access(programFolder.c_str(), W_OK) == 0) {
        return (std::filesystem::path(programFolder) / name).string();
    }
    std::error_code ignored;
    std::filesystem::create_directories(IniFallbackFolder(), ignored);
    return (std::filesystem::path(IniFallbackFolder()) / name).string();
}

StationSettings::StationSettings(const std::string& path) {
    m_ini.Open(path);
}

std::optional<std::string> StationSettings::Value(const std::string& section,
                                                  const std::string& key) const {
    for (const auto& [name, entry] : m_ini.Entries()) {
        if (entry.section == section && entry.key == key && !entry.value.empty()) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::optional<int> StationSettings::Number(const std::string& key) const {
    const std::optional<std::string> text = Value("Window", key);
    int n = 0;
    if (!text || std::from_chars(text->data(), text->data() + text->size(), n).ec != std::errc()) {
        return std::nullopt;
    }
    return n;
}

std::optional<std::string> StationSettings::LastJob() const {
    return Value("Job", "Last");
}

void StationSettings::SetLastJob(const std::string& path) {
    m_ini.SetString("Job", "Last", path);
}

void StationSettings::Place(wxTopLevelWindow& window) const {
    const auto left = Number("Left");
    const auto top = Number("Top");
    const auto width = Number("Width");
    const auto height = Number("Height");
    if (width && height && *width >= 320 && *height >= 240) {
        window.SetSize(*width, *height);
    }
    if (left && top && wxDisplay::GetFromPoint(wxPoint(*left + 20, *top + 20)) != wxNOT_FOUND) {
        window.Move(*left, *top);
    }
    if (Number("Maximized").value_or(0) != 0) {
        window.Maximize();
    }
}

bool StationSettings::Sound() const {
    return Number("Sound").value_or(1) != 0;
}

void StationSettings::SetSound(bool on) {
    m_ini.SetInt("Window", "Sound", on ? 1 : 0);
}

void StationSettings::Keep(const wxTopLevelWindow& window) {
    const bool maximized = window.IsMaximized();
    m_ini.SetInt("Window", "Maximized", maximized ? 1 : 0);
    if (!maximized) {
        const wxRect place = window.GetRect();
        m_ini.SetInt("Window", "Left", place.GetLeft());
        m_ini.SetInt("Window", "Top", place.GetTop());
        m_ini.SetInt("Window", "Width", place.GetWidth());
        m_ini.SetInt("Window", "Height", place.GetHeight());
    }
}
