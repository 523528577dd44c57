#pragma once

// Where the main window stood and how large it was, kept between runs in a file of its own beside
// the INI file ("Stavel_OV.window.ini" next to "Stavel_OV.ini"), in the same "[Window]" form an
// earlier version kept inside the INI file (Left, Top, Width and Height of the client area,
// Maximized). The INI file keeps only the dialog's own settings, so a run that ends never
// rewrites it, and a change another run made to it meanwhile survives.
//
// An INI file that still holds that "[Window]" section is left as it is; the section is read only
// while the window file does not exist yet, so it counts once.
//
// Threading rules: none; plain functions and files.

#include <optional>
#include <string>

#include "platform/base/SysResult.h"
#include "platform/codepage/CodeSet.h"
#include "settings/IniEntry.h"

struct WindowPlace {
    bool placed = false;  // left and top are known
    int left = 0;
    int top = 0;
    int width = 0;  // the client area; 0 when not known
    int height = 0;
    bool maximized = false;

    bool operator==(const WindowPlace&) const = default;
};

// The window file for the INI file at `iniPath`: the same folder and name, ".window.ini".
std::string WindowFilePath(const std::string& iniPath);

// The place the window file's text holds, or, when there is no window file (nullopt), the one
// the INI file's "[Window]" section holds; nothing known gives an empty place.
WindowPlace ChooseWindowPlace(const std::optional<std::string>& windowFileText, const IniTable& ini,
                              CodeSet codeSet);

// The window file's text; nullopt when there is no such file.
std::optional<std::string> ReadWindowFile(const std::string& path);

// The window file's text for `place`.
std::string WindowFileText(const WindowPlace& place, CodeSet codeSet);

// Replaces the window file with `place`; on failure the old file stays.
SysResult WriteWindowFile(const std::string& path, const WindowPlace& place, CodeSet codeSet);
