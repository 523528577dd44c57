#pragma once

// Code page 949 characters that catch byte-wise handling: "가" in code page 949 is B0 A1; "깃"
// is B1 EA. 0x81 0x41 is a character of the extended part whose trail byte is an ASCII capital
// 'A'; 0x81 0x5C hides a backslash, 0x81 0x3D an "=".

#include <string>

inline const std::string kGa = "\xB0\xA1";
inline const std::string kTrailA = "\x81\x41";
inline const std::string kTrailBackslash = "\x81\x5C";
inline const std::string kTrailEquals = "\x81\x3D";
