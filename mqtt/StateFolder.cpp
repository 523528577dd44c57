#include "mqtt/StateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// mkdir -p, owner only for what it makes.
Result<void> MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') {
            continue;
        }
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return ErrnoFailure("mkdir", part, errno);
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return Refusal("", path + " is not a folder");
    }
    return {};
}

}  // namespace

Result<std::string> DefaultReportPath() {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/state";
    } else {
        return Refusal("",
                       "neither XDG_STATE_HOME nor HOME names a folder for it; give one with "
                       "--report");
    }
    const std::string folder = base + "/stavel";
    if (Result<void> made = MakeFolders(folder); !made) {
        return made.Failure();
    }
    return folder + "/report.jsonl";
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "station";
    }
    return name;
}
