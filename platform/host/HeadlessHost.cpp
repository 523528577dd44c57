#include "platform/host/HeadlessHost.h"

#include <cstdio>

#include "platform/gdi/DeviceContext.h"

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, UINT) {
    // A message box must never vanish silently.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

std::unique_ptr<DeviceContext> HeadlessHost::BeginPaint(HWND) {
    return nullptr;
}
