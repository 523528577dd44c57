#include "settings/IniFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "settings/AtomicFileWriter.h"
#include "settings/DecimalText.h"
#include "settings/IniLimits.h"
#include "settings/IniLine.h"
#include "settings/IniMessages.h"
#include "settings/IniWriter.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

CIniFile::CIniFile() : m_codeSet(ActiveCodeSet()) {}

CIniFile::~CIniFile() = default;

int CIniFile::Open(std::string path) {
    m_strFileName = std::move(path);
    return Load();
}

int CIniFile::Fail(std::string message) {
    m_strError = std::move(message);
    return 0;
}

int CIniFile::Load() {
    m_entries.clear();
    m_strError.clear();
    m_codeSet = ActiveCodeSet();
    if (m_strFileName.empty()) {
        return Fail(IniMissingFileNameMessage(m_codeSet));
    }
    // Reading and appending: a missing file is created empty, and a file that may not be
    // written is refused, so the tool then keeps to its defaults. Nothing is written here.
    FileHandle file(std::fopen(m_strFileName.c_str(), "a+e"));
    if (!file || IsReadOnlyFile(m_strFileName)) {
        m_lastFailure = SysFailure{
            file ? SysResult::FromErrno("access", EACCES) : SysResult::FromErrno("open", errno),
            m_strFileName};
        return Fail(IniCannotOpenMessage(m_strFileName, m_codeSet));
    }
    std::string section;
    char piece[kIniReadPiece + 1];
    while (std::fgets(piece, sizeof piece, file.get()) != nullptr) {
        // A NUL byte ends the line's text, as it ends a C string.
        ReadIniLine(std::string_view(piece, std::strlen(piece)), section, m_entries, m_codeSet);
    }
    return 1;
}

int CIniFile::Save() {
    m_strError.clear();
    if (m_strFileName.empty()) {
        return Fail(IniMissingFileNameMessage(m_codeSet));
    }
    const SysResult saved =
        ReplaceFileAtomically(m_strFileName, WriteIniText(m_entries, m_codeSet));
    if (!saved.Ok()) {
        m_lastFailure = SysFailure{saved, m_strFileName};
        return Fail(IniCannotOpenMessage(m_strFileName, m_codeSet));
    }
    return 1;
}

IniEntry& CIniFile::Find(const std::string& section, const std::string& key) {
    return m_entries[FoldIniKey(section, key, m_codeSet)];
}

std::string CIniFile::GetString(std::string section, std::string key, std::string def) {
    const IniEntry& entry = Find(section, key);
    if (!entry.value.empty()) {
        return entry.value;
    }
    SetString(std::move(section), std::move(key), def);
    return def;
}

int CIniFile::GetInt(std::string section, std::string key, int def) {
    return ReadDecimal(GetString(std::move(section), std::move(key), std::to_string(def)));
}

int CIniFile::SetString(std::string section, std::string key, std::string value) {
    IniEntry& entry = Find(section, key);
    entry.section = std::move(section);
    entry.key = std::move(key);
    entry.value = std::move(value);
    Save();
    return 1;
}

int CIniFile::SetInt(std::string section, std::string key, int value) {
    return SetString(std::move(section), std::move(key), std::to_string(value));
}
