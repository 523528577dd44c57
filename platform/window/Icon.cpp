#include "platform/window/Icon.h"

#include <map>
#include <mutex>

namespace {

struct IconTable {
    std::mutex mutex;
    std::map<int, IconImage> images;
};

IconTable& Table() {
    static IconTable table;
    return table;
}

}  // namespace

void RegisterIcon(int id, IconImage image) {
    IconTable& table = Table();
    std::lock_guard lock(table.mutex);
    table.images[id] = std::move(image);
}

HICON LoadIcon(int id) {
    IconTable& table = Table();
    std::lock_guard lock(table.mutex);
    return table.images.count(id) != 0 ? static_cast<HICON>(id) : kNoIcon;
}

const IconImage* FindIcon(HICON icon) {
    IconTable& table = Table();
    std::lock_guard lock(table.mutex);
    // std::map never moves its elements, so the pointer stays valid while the entry lives.
    auto it = table.images.find(static_cast<int>(icon));
    return icon == kNoIcon || it == table.images.end() ? nullptr : &it->second;
}

int GetSystemMetrics(int index) {
    // The standard large icon is 32 x 32 pixels on every display this tool meets.
    return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}
