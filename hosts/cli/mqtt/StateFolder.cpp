#include "hosts/cli/mqtt/StateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/base/SysResult.h"

namespace {

// mkdir -p, owner only for what it makes.
bool MakeFolders(const std::string& path, std::string* error) {
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at != path.size() && path[at] != '/') {
            continue;
        }
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = DescribeErrno("mkdir", part, errno);
            return false;
        }
    }
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = path + " is not a folder";
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> DefaultReportPath(std::string* error) {
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
        base = state;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = std::string(home) + "/.local/state";
    } else {
        *error = "neither XDG_STATE_HOME nor HOME names a folder for it; give one with --report";
        return std::nullopt;
    }
    const std::string folder = base + "/stavel";
    if (!MakeFolders(folder, error)) {
        return std::nullopt;
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
