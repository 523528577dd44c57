#include "settings/TemporaryFiles.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <set>

namespace {

std::mutex g_mutex;
std::set<std::string>& Pending() {
    static std::set<std::string> s_pending;
    return s_pending;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process id in a temporary name ".<base>.<pid>.<n>.tmp", or 0 when it is not one.
pid_t OwnerOf(const std::string& name, const std::string& base) {
    const std::string prefix = "." + base + ".";
    if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 6 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
        return 0;
    }
    pid_t pid = 0;
    std::size_t i = prefix.size();
    for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
        pid = pid * 10 + (name[i] - '0');
    }
    return i < name.size() && name[i] == '.' ? pid : 0;
}

}  // namespace

PendingTemporary::PendingTemporary(std::string path) : m_path(std::move(path)) {
    std::lock_guard lock(g_mutex);
    Pending().insert(m_path);
}

PendingTemporary::~PendingTemporary() {
    std::lock_guard lock(g_mutex);
    Pending().erase(m_path);
}

void RemovePendingTemporaries() {
    std::lock_guard lock(g_mutex);
    for (const std::string& path : Pending()) {
        unlink(path.c_str());
    }
    Pending().clear();
}

std::string TemporaryNameFor(const std::string& target) {
    static std::atomic<unsigned> s_counter{0};
    const std::string folder = FolderOf(target);
    return (folder == "/" ? "" : folder) + "/." + BaseNameOf(target) + "." +
           std::to_string(getpid()) + "." + std::to_string(s_counter++) + ".tmp";
}

void SweepStaleTemporaries(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string base = BaseNameOf(target);
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const pid_t owner = OwnerOf(entry->d_name, base);
        if (owner > 0 && owner != getpid() && kill(owner, 0) != 0 && errno == ESRCH) {
            unlinkat(dirfd(dir), entry->d_name, 0);
        }
    }
    closedir(dir);
}
