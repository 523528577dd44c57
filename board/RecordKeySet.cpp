#include "board/RecordKeySet.h"

namespace {

constexpr std::size_t kFirstCapacity = 1024;

}  // namespace

std::uint64_t RecordKeySet::KeyOf(std::string_view id) {
    // FNV-1a, then a final mix so that ids differing late still spread over the table.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : id) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return hash == 0 ? 1 : hash;  // 0 marks an empty place
}

std::size_t RecordKeySet::Home(std::uint64_t key) const {
    return static_cast<std::size_t>(key) & (m_slots.size() - 1);
}

std::size_t RecordKeySet::Find(std::uint64_t key) const {
    std::size_t at = Home(key);
    while (m_slots[at] != 0 && m_slots[at] != key) {
        at = (at + 1) & (m_slots.size() - 1);
    }
    return at;
}

bool RecordKeySet::Contains(std::uint64_t key) const {
    return !m_slots.empty() && m_slots[Find(key)] == key;
}

bool RecordKeySet::Insert(std::uint64_t key) {
    // Kept at most half full, so that a probe stays short.
    if ((m_size + 1) * 2 > m_slots.size()) {
        Grow();
    }
    const std::size_t at = Find(key);
    if (m_slots[at] == key) {
        return false;
    }
    m_slots[at] = key;
    ++m_size;
    return true;
}

void RecordKeySet::Erase(std::uint64_t key) {
    if (m_slots.empty()) {
        return;
    }
    const std::size_t mask = m_slots.size() - 1;
    std::size_t hole = Find(key);
    if (m_slots[hole] != key) {
        return;
    }
    // Backward shift: each key after the hole that could live in it moves up, so that no later
    // probe stops short at the hole.
    for (std::size_t next = (hole + 1) & mask; m_slots[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = Home(m_slots[next]);
        const bool reachable =
            hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
        if (reachable) {
            m_slots[hole] = m_slots[next];
            hole = next;
        }
    }
    m_slots[hole] = 0;
    --m_size;
}

void RecordKeySet::Grow() {
    std::vector<std::uint64_t> old = std::move(m_slots);
    m_slots.assign(old.empty() ? kFirstCapacity : old.size() * 2, 0);
    for (const std::uint64_t key : old) {
        if (key != 0) {
            m_slots[Find(key)] = key;
        }
    }
}
