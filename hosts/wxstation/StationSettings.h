#pragma once

// The desktop station's own settings, in Stavel_Station.ini beside the program (or, where that
// folder cannot be written, in the settings' fallback folder): the window's place and size, its
// sound, and the job served last. Only this program writes the file.

#include <optional>
#include <string>

#include "settings/IniFile.h"

class wxTopLevelWindow;

// The file for a program in `programFolder`.
std::string StationSettingsPath(const std::string& programFolder);

class StationSettings {
  public:
    explicit StationSettings(const std::string& path);

    std::optional<std::string> LastJob() const;
    void SetLastJob(const std::string& path);
    // Puts the window where it was; a place off every screen is left to the window manager.
    void Place(wxTopLevelWindow& window) const;
    void Keep(const wxTopLevelWindow& window);
    // The sound on a failed box: on unless muted ([Window] Sound=0).
    bool Sound() const;
    void SetSound(bool on);

  private:
    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    std::optional<int> Number(const std::string& key) const;

    mutable CIniFile m_ini;
};
