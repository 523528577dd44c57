#include "settings/IniLocation.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "settings/AtomicFileWriter.h"
#include "settings/FilePath.h"

namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FolderWritable(const std::string& folder) {
    return IsFolder(folder) && access(folder.c_str(), W_OK | X_OK) == 0;
}

// The folders of installed programs belong to the package manager (and /usr/local to `make
// install`): the superuser could write there, but a settings file left beside an installed
// program would outlive its package.
bool ProgramsFolder(const std::string& folder) {
    for (const char* system :
         {"/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin", "/bin", "/sbin"}) {
        if (folder == system) {
            return true;
        }
    }
    return false;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates `folder` and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& folder) {
    for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    return IsFolder(folder);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        return home;
    }
    const passwd* user = getpwuid(getuid());
    return user != nullptr && user->pw_dir != nullptr ? user->pw_dir : "";
}

// Carries the settings of a file beside the program over to the fallback folder, once.
void CopyIfMissing(const std::string& from, const std::string& to) {
    if (FileExists(to) || !FileExists(from)) {
        return;
    }
    std::ifstream in(from, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (in.good() || in.eof()) {
        ReplaceFileAtomically(to, content);
    }
}

}  // namespace

std::string IniFallbackFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = config != nullptr && config[0] == '/' ? config : HomeFolder() + "/.config";
    return base + "/Stavel_OV";
}

std::string IniPathBeside(const std::string& programPath) {
    const std::string folder = CFilePath(programPath.c_str()).GetDirectory();
    const std::string beside = folder + "/" + kIniFileName;
    if (FolderWritable(folder.empty() ? "/" : folder) && !ProgramsFolder(folder)) {
        return beside;
    }
    const std::string fallbackFolder = IniFallbackFolder();
    if (!MakeFolders(fallbackFolder)) {
        // Nowhere to write: the store will run on its defaults, as with any unwritable file.
        return beside;
    }
    const std::string fallback = fallbackFolder + "/" + kIniFileName;
    CopyIfMissing(beside, fallback);
    return fallback;
}
