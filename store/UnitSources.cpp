#include "store/UnitSources.h"

std::vector<UnitPool::Source> PoolSourcesOf(const UnitLayout& layout) {
    std::vector<UnitPool::Source> sources;
    for (const UnitSource& s : layout.sources) {
        UnitPool::Source p;
        p.name = s.name;
        p.counter = s.kind == UnitSource::Kind::Counter;
        p.start = s.start;
        p.step = s.step;
        for (const std::vector<std::string>& row : s.rows) {
            p.values.push_back(row[s.keyColumn]);
        }
        sources.push_back(std::move(p));
    }
    return sources;
}
