#include "platform/host/Host.h"

#include <atomic>
#include <thread>

#include "platform/host/HeadlessHost.h"
#include "platform/host/WorkerMessageBox.h"

namespace {

std::atomic<Host*> g_host{nullptr};
std::atomic<std::thread::id> g_uiThread{};

std::string& AppName() {
    static std::string name = "Stavel_OV";
    return name;
}

}  // namespace

COLORREF ClassicSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_HIGHLIGHT:
            return RGB(0, 0, 128);
        case COLOR_BTNFACE:
            return RGB(192, 192, 192);
        default:  // COLOR_WINDOWTEXT and the rest
            return RGB(0, 0, 0);
    }
}

void SetHost(Host* host) {
    g_host.store(host, std::memory_order_release);
}

Host& CurrentHost() {
    static HeadlessHost fallback;
    Host* host = g_host.load(std::memory_order_acquire);
    return host ? *host : fallback;
}

void MarkUiThread() {
    g_uiThread.store(std::this_thread::get_id());
}

bool IsUiThread() {
    const std::thread::id ui = g_uiThread.load();
    // Before any host marked a UI thread, the caller is taken to be it: a test or a tool that
    // runs everything on one thread must not wait on a queue that nobody pumps.
    return ui == std::thread::id{} || ui == std::this_thread::get_id();
}

void SetApplicationName(std::string name) {
    AppName() = std::move(name);
}

const std::string& ApplicationName() {
    return AppName();
}

int AfxMessageBox(const std::string& text, UINT type, UINT) {
    if (IsUiThread()) {
        return CurrentHost().MessageBox(text, ApplicationName(), type);
    }
    // A worker without a gate of its own: nothing can release this wait but the operator.
    MessageBoxGate gate;
    return gate.Show(text, type);
}
