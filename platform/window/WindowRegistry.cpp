#include "platform/window/WindowRegistry.h"

#include <mutex>
#include <unordered_map>

namespace window_registry {
namespace {

struct Registry {
    std::mutex mutex;
    std::uintptr_t next = 0x100;
    std::unordered_map<std::uintptr_t, CWnd*> windows;
};

Registry& Instance() {
    static Registry registry;
    return registry;
}

}  // namespace

HWND Register(CWnd* window) {
    Registry& r = Instance();
    std::lock_guard lock(r.mutex);
    const std::uintptr_t value = r.next++;
    r.windows[value] = window;
    return static_cast<HWND>(value);
}

void Rebind(HWND hwnd, CWnd* window) {
    Registry& r = Instance();
    std::lock_guard lock(r.mutex);
    auto it = r.windows.find(static_cast<std::uintptr_t>(hwnd));
    if (it != r.windows.end()) {
        it->second = window;
    }
}

void Unregister(HWND hwnd) {
    Registry& r = Instance();
    std::lock_guard lock(r.mutex);
    r.windows.erase(static_cast<std::uintptr_t>(hwnd));
}

CWnd* Find(HWND hwnd) {
    Registry& r = Instance();
    std::lock_guard lock(r.mutex);
    auto it = r.windows.find(static_cast<std::uintptr_t>(hwnd));
    return it == r.windows.end() ? nullptr : it->second;
}

}  // namespace window_registry
