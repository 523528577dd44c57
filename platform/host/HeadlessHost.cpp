#include "platform/host/HeadlessHost.h"

#include <cstdio>

int HeadlessHost::MessageBox(const std::string& text, const std::string& caption, UINT) {
    // A message box must never vanish silently.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}
