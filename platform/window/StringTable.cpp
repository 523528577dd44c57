#include "platform/window/StringTable.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_mutex;

std::map<UINT, std::string>& Strings() {
    static std::map<UINT, std::string> strings;
    return strings;
}

}  // namespace

void RegisterString(UINT id, std::string text) {
    std::lock_guard lock(g_mutex);
    Strings()[id] = std::move(text);
}

std::string LoadString(UINT id) {
    std::lock_guard lock(g_mutex);
    auto it = Strings().find(id);
    return it == Strings().end() ? std::string() : it->second;
}
