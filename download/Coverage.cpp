#include "download/Coverage.h"

#include <algorithm>
#include <iterator>

void Coverage::Add(std::int64_t offset, std::int64_t length, std::int64_t limit) {
    std::int64_t start = std::max<std::int64_t>(offset, 0);
    std::int64_t end = std::min(offset + length, limit);
    if (end <= start) {
        return;
    }
    // Swallow every range that overlaps or touches [start, end).
    auto it = m_ranges.upper_bound(start);
    if (it != m_ranges.begin() && std::prev(it)->second >= start) {
        --it;
    }
    while (it != m_ranges.end() && it->first <= end) {
        start = std::min(start, it->first);
        end = std::max(end, it->second);
        m_bytes -= it->second - it->first;
        it = m_ranges.erase(it);
    }
    m_ranges.emplace(start, end);
    m_bytes += end - start;
}

double Coverage::Fraction(std::int64_t size) const {
    if (size <= 0) {
        return 1.0;
    }
    return std::min(1.0, static_cast<double>(m_bytes) / static_cast<double>(size));
}

void Coverage::Clear() {
    m_ranges.clear();
    m_bytes = 0;
}
