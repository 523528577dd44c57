#include "platform/host/ModulePath.h"

#include <unistd.h>

#include <vector>

namespace {

// The callers' buffer: MAX_PATH bytes, the last one for the terminator.
constexpr std::size_t kModulePathBuffer = 260;

}  // namespace

std::string ModuleFileName() {
    // readlink does not say whether it truncated, so grow the buffer until the path fits.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(n));
            if (path.size() >= kModulePathBuffer) {
                path.resize(kModulePathBuffer - 1);
            }
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}
