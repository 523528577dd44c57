#include "station/StationJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/base/Eintr.h"
#include "platform/base/WriteAll.h"
#include "record/Json.h"

namespace {

constexpr const char* kLockName = "lock";
constexpr const char* kRunPrefix = "run-";
// What the killed station's temporary folder is called (StationFiles.cpp): a lock that names any
// other folder is not followed.
constexpr const char* kTempPrefix = "stavel-station-";
// No journal is near this large; anything larger is not one and is not read whole.
constexpr std::size_t kMostBytes = 256 * 1024;

bool SameFile(int fd, const std::string& path) {
    struct stat held {};
    struct stat named {};
    return fstat(fd, &held) == 0 && lstat(path.c_str(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

std::string ReadSome(int fd) {
    std::string text;
    char buffer[8192];
    while (text.size() < kMostBytes) {
        const ssize_t n = RetryOnEintr([&] { return read(fd, buffer, sizeof buffer); });
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string ReadFile(const std::string& path) {
    const UniqueFd fd(
        RetryOnEintr([&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW); }));
    return fd ? ReadSome(fd.Get()) : std::string();
}

// "slot12.json" -> 12; 0 for any other name.
int SlotNumberOf(const std::string& name) {
    if (!name.starts_with("slot") || !name.ends_with(".json") || name.size() <= 9) {
        return 0;
    }
    return std::atoi(name.substr(4, name.size() - 9).c_str());
}

// The folder and its files, but only files: a run's folder holds nothing else.
void RemoveRunFolder(const std::string& dir) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error) || it->is_symlink(error)) {
            std::remove(it->path().c_str());
        }
    }
    rmdir(dir.c_str());
    // The journals' folder goes with its last run.
    const std::size_t slash = dir.rfind('/');
    if (slash != std::string::npos) {
        rmdir(dir.substr(0, slash).c_str());
    }
}

}  // namespace

std::string JournalFolderFor(const std::string& report) {
    return report + ".in-flight";
}

Result<std::unique_ptr<StationJournal>> StationJournal::Open(const std::string& report,
                                                             const std::string& tempDir) {
    struct stat info {};
    if (stat(report.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::unique_ptr<StationJournal>();
    }
    const std::string folder = JournalFolderFor(report);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        return ErrnoFailure("mkdir", folder, errno);
    }
    // A later start that looks in at the very moment may take a folder whose lock is not held
    // yet, and remove it: the lock is checked to be still there, else the run takes another.
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::string dir = folder + "/" + kRunPrefix + "XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) {
            return ErrnoFailure("mkdtemp", dir, errno);
        }
        const std::string lockPath = dir + "/" + kLockName;
        UniqueFd lock(RetryOnEintr([&] {
            return open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        }));
        if (!lock) {
            if (errno == ENOENT) {
                continue;
            }
            const int err = errno;
            rmdir(dir.c_str());
            return ErrnoFailure("open", lockPath, err);
        }
        if (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0 || !SameFile(lock.Get(), lockPath)) {
            continue;
        }
        const Json named{{"journal", kSlotJournalVersion},
                         {"pid", static_cast<std::int64_t>(getpid())},
                         {"temp", JsonText(tempDir)}};
        if (WriteAll(lock.Get(), JsonLine(named) + "\n") != 0) {
            const int err = errno;
            RemoveRunFolder(dir);
            return ErrnoFailure("write", lockPath, err);
        }
        return std::unique_ptr<StationJournal>(new StationJournal(std::move(dir), std::move(lock)));
    }
    return Refusal(folder, "no run folder of its own could be held");
}

StationJournal::~StationJournal() {
    RemoveRunFolder(m_dir);
}

std::string StationJournal::PathOf(std::size_t index) const {
    return m_dir + "/slot" + std::to_string(index + 1) + ".json";
}

Result<void> StationJournal::Write(std::size_t index, const SlotJournal& journal, bool sync) {
    const std::string path = PathOf(index);
    const std::string aside = path + ".tmp";
    {
        const UniqueFd fd(RetryOnEintr([&] {
            return open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
        }));
        if (!fd) {
            return ErrnoFailure("open", aside, errno);
        }
        if (WriteAll(fd.Get(), SlotJournalLine(journal)) != 0 || (sync && fsync(fd.Get()) != 0)) {
            const int err = errno;
            std::remove(aside.c_str());
            return ErrnoFailure("write", aside, err);
        }
    }
    if (std::rename(aside.c_str(), path.c_str()) != 0) {
        const int err = errno;
        std::remove(aside.c_str());
        return ErrnoFailure("rename", path, err);
    }
    if (sync) {
        const UniqueFd folder(open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder) {
            fsync(folder.Get());
        }
    }
    return {};
}

void StationJournal::Remove(std::size_t index) {
    std::remove(PathOf(index).c_str());
}

std::vector<std::unique_ptr<AbandonedRun>> AbandonedRun::Find(const std::string& report) {
    std::vector<std::unique_ptr<AbandonedRun>> runs;
    std::vector<std::string> dirs;
    std::error_code error;
    for (std::filesystem::directory_iterator it(JournalFolderFor(report), error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().filename().string().starts_with(kRunPrefix) && !it->is_symlink(error) &&
            it->is_directory(error)) {
            dirs.push_back(it->path().string());
        }
    }
    std::sort(dirs.begin(), dirs.end());
    for (const std::string& dir : dirs) {
        // No lock yet: a run being made; a lock held: a station that lives.
        const std::string lockPath = dir + "/" + kLockName;
        UniqueFd lock(
            RetryOnEintr([&] { return open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW); }));
        if (!lock || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0 || !SameFile(lock.Get(), lockPath)) {
            continue;
        }
        std::unique_ptr<AbandonedRun> run(new AbandonedRun(dir, std::move(lock)));
        std::string named = ReadSome(run->m_lock.Get());
        if (const std::optional<Json> info = ParseJsonObject(named.substr(0, named.find('\n')))) {
            const std::string temp = JsonStringAt(*info, "temp");
            const std::string base = temp.substr(temp.rfind('/') + 1);
            if (temp.starts_with("/") && base.starts_with(kTempPrefix) &&
                temp.find("/../") == std::string::npos) {
                run->m_tempDir = temp;
            }
        }
        std::vector<std::pair<int, std::string>> files;
        for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.ends_with(".tmp")) {
                std::remove(it->path().c_str());  // never became the journal
            } else if (SlotNumberOf(name) > 0) {
                files.emplace_back(SlotNumberOf(name), it->path().string());
            }
        }
        std::sort(files.begin(), files.end());
        for (const auto& [number, path] : files) {
            run->m_journals.push_back(Journal{path, ParseSlotJournal(ReadFile(path))});
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

void AbandonedRun::Forget(const Journal& journal) {
    std::remove(journal.path.c_str());
}

AbandonedRun::~AbandonedRun() {
    // A journal whose box could not be recorded (the report refused it) waits for the next start.
    for (const Journal& journal : m_journals) {
        if (journal.journal && access(journal.path.c_str(), F_OK) == 0) {
            return;
        }
    }
    if (m_tempDir) {
        struct stat info {};
        if (lstat(m_tempDir->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            std::error_code ignored;
            std::filesystem::remove_all(*m_tempDir, ignored);
        }
    }
    RemoveRunFolder(m_dir);
}
