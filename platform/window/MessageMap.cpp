#include "platform/window/MessageMap.h"

namespace {

bool Matches(const MessageMapEntry& entry, UINT message, WPARAM wParam) {
    if (entry.message != message) {
        return false;
    }
    if (message != WM_COMMAND) {
        return true;
    }
    return entry.id == LOWORD(wParam) && entry.code == HIWORD(wParam);
}

}  // namespace

const MessageMapEntry* MessageMap::Find(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = this; map != nullptr; map = map->base) {
        for (const MessageMapEntry& entry : map->entries) {
            if (Matches(entry, message, wParam)) {
                return &entry;
            }
        }
    }
    return nullptr;
}
