#include "slot/SlotLogFiles.h"

#include <cctype>
#include <filesystem>

#include "slot/BoxLogDir.h"

namespace {

// "A1_20261207T023107.120Z_PASS.log" for slot A1, and not slot A1_x's files.
bool IsBoxFile(const std::string& name, const std::string& safeSlot) {
    const std::string prefix = safeSlot + "_";
    return name.size() > prefix.size() + 9 && name.starts_with(prefix) && name.ends_with(".log") &&
           std::isdigit(static_cast<unsigned char>(name[prefix.size()])) != 0 &&
           name[prefix.size() + 8] == 'T';
}

}  // namespace

SlotLogs SlotLogFiles(const std::string& dir, const std::string& slot) {
    namespace fs = std::filesystem;
    const std::string safe = BoxLogDir::SafeName(slot);
    const std::string partial = "." + safe + ".";
    std::optional<std::string> newest;
    std::string newestName;
    fs::file_time_type newestPartial{};
    std::optional<std::string> loading;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(partial) && name.ends_with(".partial.log")) {
            const fs::file_time_type changed = fs::last_write_time(it->path(), error);
            if (!loading || changed > newestPartial) {
                loading = it->path().string();
                newestPartial = changed;
            }
        } else if (IsBoxFile(name, safe) && name > newestName) {
            // The UTC start in the name sorts as text.
            newestName = name;
            newest = it->path().string();
        }
    }
    return {loading, newest};
}
