#include "hosts/wx/UiCalls.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>

#include <wx/app.h>

namespace {

std::shared_mutex g_gate;
bool g_open = false;  // guarded by g_gate
std::atomic<bool> g_running{false};

}  // namespace

void OpenUiCalls() {
    std::unique_lock lock(g_gate);
    g_open = true;
    g_running = true;
}

void CloseUiCalls() {
    // Once this returns no caller is between its check and its CallAfter.
    std::unique_lock lock(g_gate);
    g_open = false;
    g_running = false;
}

bool CallOnUiThread(std::function<void()> work) {
    std::shared_lock lock(g_gate);
    if (!g_open || wxTheApp == nullptr) {
        return false;
    }
    wxTheApp->CallAfter([work = std::move(work)] {
        if (g_running) {
            work();
        }
    });
    return true;
}
