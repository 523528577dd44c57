#include "station/StationFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/base/UniqueFd.h"
#include "platform/codepage/ShownText.h"
#include "platform/ports/PortChoice.h"
#include "platform/ports/PortMap.h"

namespace {

Result<std::unique_ptr<StationFiles>> CannotTake(const char* what, const std::string& path,
                                                 int err) {
    return SysFailure(SysResult::FromErrno("", err), "",
                      std::string(what) + EscapeName(path) + ": " + std::strerror(err));
}

std::string DeviceOf(const std::string& port) {
    if (const std::optional<int> number = PortNumberForName(port)) {
        return DevicePathForNumber(*number).value_or(port);
    }
    return port;
}

}  // namespace

StationFiles::~StationFiles() {
    if (!m_tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_tempDir, ignored);
    }
}

Result<std::unique_ptr<StationFiles>> StationFiles::Make(const std::string& image,
                                                         const std::optional<std::string>& logDir,
                                                         const std::optional<std::string>& report,
                                                         const std::optional<std::string>& ini,
                                                         const std::vector<std::string>& ports) {
    if (!UniqueFd(open(image.c_str(), O_RDONLY | O_CLOEXEC))) {
        return CannotTake("Cannot read input file: ", image, errno);
    }
    if (logDir) {
        // A folder that is not there yet is made, as an operator naming it would expect.
        std::error_code ignored;
        std::filesystem::create_directories(*logDir, ignored);
        errno = 0;
        struct stat st {};
        if (stat(logDir->c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
            access(logDir->c_str(), W_OK | X_OK) != 0) {
            return CannotTake("the log folder cannot take files: ", *logDir,
                              errno != 0 ? errno : ENOTDIR);
        }
    }
    std::unique_ptr<StationFiles> files(new StationFiles());
    if (report) {
        Result<std::unique_ptr<ReportFile>> opened = ReportFile::Open(*report);
        if (!opened) {
            return SysFailure(
                opened.Failure().result, "",
                "the report cannot be written: " + EscapeName(opened.Failure().Describe()));
        }
        files->m_report = std::move(*opened);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/stavel-station-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
        return CannotTake("the station's temporary folder cannot be made: ", dir, errno);
    }
    files->m_tempDir = dir;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        SlotPlace place;
        place.device = DeviceOf(ports[i]);
        place.ini = dir + "/slot" + std::to_string(i + 1) + ".ini";
        place.errorFile = dir + "/slot" + std::to_string(i + 1) + ".err";
        // The numbers the station's own port choice gives, one per slot, so that each slot's
        // log names its own COM port as the operator would see it in a single run.
        const Result<PortChoice> chosen = ChoosePort(ports[i]);
        place.number = chosen ? chosen->number : 0;
        // The operator's settings as they are, in a copy no other slot writes.
        if (ini) {
            std::error_code ignored;
            std::filesystem::copy_file(*ini, place.ini,
                                       std::filesystem::copy_options::overwrite_existing, ignored);
        }
        files->m_places.push_back(std::move(place));
    }
    return files;
}
