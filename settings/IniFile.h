#pragma once

// The settings store: a small INI file of sections and "key=value" lines.
//
// How it works. `Open` reads the whole file into an ordered table; every lookup is answered from
// the table; every change, and every lookup that falls back to its default, rewrites the whole
// file from the table at once, so nothing is lost at exit and nothing needs saving then. Section
// and key names match in any letter case (folded on whole characters of the active code set),
// while the file shows each name as it was last written.
//
// The file is replaced, never rewritten in place: a crash or a full disk during `Save` leaves
// the old file whole. A read-only file is read by nobody and written by nobody: `Load` fails on
// it (the tool then runs on its defaults) and so does every `Save`.
//
// Results are 1 for success and 0 for failure; nothing throws. The text of the last failure of
// `Load` or `Save` is kept in m_strError, in the active code set.
//
// Threading: not for concurrent use; one thread owns a store.

#include <string>

#include "platform/base/SysResult.h"
#include "platform/codepage/CodeSet.h"
#include "settings/IniEntry.h"

class CIniFile {
  public:
    CIniFile();
    virtual ~CIniFile();

    // Remembers `path` and loads the file (creating it empty when there is none).
    int Open(std::string path);
    // Replaces the table with the file's contents. A failure leaves the table empty.
    int Load();
    // Rewrites the whole file from the table.
    int Save();

    // The stored value; when it is missing or empty, stores and saves `def` and returns it.
    std::string GetString(std::string section, std::string key, std::string def);
    // GetString with the default in decimal, read back as atol reads it.
    int GetInt(std::string section, std::string key, int def);
    // Stores the value under the caller's forms of both names and saves. Always 1: a failed
    // save shows only in m_strError.
    int SetString(std::string section, std::string key, std::string value);
    int SetInt(std::string section, std::string key, int value);

    // The table, in file order.
    const IniTable& Entries() const { return m_entries; }

    std::string m_strFileName;
    std::string m_strError;

    // Why the last Load or Save failed: the file, the call and the system's reason. Kept until
    // the next failure replaces it.
    const SysFailure& LastFailure() const { return m_lastFailure; }

  private:
    SysFailure m_lastFailure;

    IniEntry& Find(const std::string& section, const std::string& key);
    int Fail(std::string message);

    IniTable m_entries;
    // Names are folded in the code set the table was built in.
    CodeSet m_codeSet;
};
