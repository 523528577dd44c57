#pragma once

// The tool's version, as every record, the station's info and a capture give it; one for every
// program and every build of the tool, so that records of the same job compare alike whoever
// served the box. `--version` names the build too (version/BuildVersion.h, made by CMake), which
// begins with this number.
inline constexpr const char* kToolVersion = "1.0.0.1";
