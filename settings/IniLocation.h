#pragma once

// Where the tool keeps its INI file: "Stavel_OV.ini" in the program's own folder, the folder
// being CFilePath::GetDirectory of the program's full file name. The Windows form
// "<folder>\Stavel_OV.ini" is written with this platform's separator, "<folder>/Stavel_OV.ini";
// an empty folder gives "/Stavel_OV.ini", the root, as "\Stavel_OV.ini" names the root of the
// current drive.
//
// Where that folder cannot be written, or is one of the system's program folders (/usr/bin and
// the like: a program installed by a package, which even the superuser must not write beside),
// the file is kept under
// $XDG_CONFIG_HOME/Stavel_OV/ instead (~/.config/Stavel_OV/ when the variable is unset or not an
// absolute path), the folder being created when missing; this is where Windows would redirect a
// legacy program's writes. As Windows does, the file beside the program, if there is one, is
// copied there the first time so the settings it holds are kept.

#include <string>

inline constexpr const char* kIniFileName = "Stavel_OV.ini";

// The INI file's full path for a program at `programPath` (ModuleFileName() in the tool).
std::string IniPathBeside(const std::string& programPath);

// The folder used when the program's own cannot be written, whether or not it exists yet.
std::string IniFallbackFolder();
