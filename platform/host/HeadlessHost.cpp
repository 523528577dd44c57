#include "platform/host/HeadlessHost.h"

#include "platform/host/ConsoleOutput.h"

#include "platform/gdi/DeviceContext.h"

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, UINT) {
    // A message box must never vanish silently, nor wait for whoever reads standard error.
    WriteStderr(caption + ": " + text + "\n");
    return IDOK;
}

std::unique_ptr<DeviceContext> HeadlessHost::BeginPaint(HWND) {
    return nullptr;
}
