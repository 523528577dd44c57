#include "settings/FilePath.h"

#include "platform/codepage/MultiByte.h"

CFilePath::CFilePath(const char* path) : m_strPath(path != nullptr ? path : "") {}

std::string CFilePath::GetDirectory() const {
    const CodeSet codeSet = ActiveCodeSet();
    const std::size_t backslash = FindLastChar(m_strPath, '\\', codeSet);
    const std::size_t slash = FindLastChar(m_strPath, '/', codeSet);
    std::size_t last = backslash;
    if (last == std::string::npos || (slash != std::string::npos && slash > last)) {
        last = slash;
    }
    // A separator at 0 or 1 leaves no folder worth naming ("\x.exe", "a\x.exe" or "/x").
    if (last == std::string::npos || last < 2) {
        return {};
    }
    return m_strPath.substr(0, last);
}
