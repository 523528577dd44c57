#include "platform/window/DialogTemplate.h"

#include <map>
#include <memory>
#include <mutex>

namespace {

std::mutex g_mutex;

std::map<UINT, std::unique_ptr<DialogTemplate>>& Templates() {
    static std::map<UINT, std::unique_ptr<DialogTemplate>> templates;
    return templates;
}

}  // namespace

void RegisterDialogTemplate(DialogTemplate dialogTemplate) {
    std::lock_guard lock(g_mutex);
    const UINT id = dialogTemplate.id;
    Templates()[id] = std::make_unique<DialogTemplate>(std::move(dialogTemplate));
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    std::lock_guard lock(g_mutex);
    auto it = Templates().find(id);
    return it == Templates().end() ? nullptr : it->second.get();
}

WindowPlacement MapDialogRect(int x, int y, int cx, int cy, DialogBaseUnits units) {
    // Each edge is converted on its own, as Windows does, so that adjacent controls stay
    // adjacent after rounding.
    auto horizontal = [&](int v) { return v * units.cx / 4; };
    auto vertical = [&](int v) { return v * units.cy / 8; };
    const int left = horizontal(x);
    const int top = vertical(y);
    return WindowPlacement{left, top, horizontal(x + cx) - left, vertical(y + cy) - top};
}
