#pragma once

// The tool's version, as every record, the station's info and `--version` give it; one for every
// program of the tool, so that records of the same job compare alike whoever served the box.
inline constexpr const char* kToolVersion = "1.0.0.1";
