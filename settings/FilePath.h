#pragma once

// A full file name and its folder part.

#include <string>

class CFilePath {
  public:
    explicit CFilePath(const char* path);

    // The text before the last path separator, or the empty text when there is none or it
    // stands at byte 0 or 1. The separator is a backslash, as in "C:\Tools\x.exe" (folder
    // "C:\Tools"; "C:\x.exe" gives "C:"), or on this platform a slash, so "/opt/stavel/x" gives
    // "/opt/stavel". Separators are found on whole characters of the active code set.
    std::string GetDirectory() const;

  private:
    std::string m_strPath;
};
