#include "store/PoolDealer.h"

#include <algorithm>

#include "store/UnitSources.h"
#include "unit/UnitRegion.h"

namespace {

// A value the job's list no longer holds is passed over; this many in a row is a pool that has
// nothing else left.
constexpr int kMostPassedOver = 16;
// Other stations draw from the same pool: the count is taken again well before this station's
// own deals alone would reach the bound.
constexpr std::int64_t kStationsAllowedFor = 8;

UnitData Refused(EndReason reason, std::string why) {
    UnitData data;
    data.refusal = reason;
    data.why = std::move(why);
    return data;
}

}  // namespace

std::string UnitStoreUnreachable(const SysFailure& failure) {
    return "unit store unreachable: " + failure.Describe();
}

PoolDealer::PoolDealer(const UnitLayout& layout, std::string station,
                       std::unique_ptr<UnitPool> pool)
    : m_layout(layout),
      m_sources(PoolSourcesOf(layout)),
      m_station(std::move(station)),
      m_pool(std::move(pool)),
      m_warned(layout.sources.size(), false) {}

Result<PoolDealer::Opened> PoolDealer::Open(const UnitLayout& layout, const std::string& station,
                                            const std::vector<std::string>& slots) {
    const auto unreachable = [](const SysFailure& failure) {
        return Refusal("", UnitStoreUnreachable(failure));
    };
    Result<StoreUrl> url = ParseStoreUrl(layout.store);
    if (!url) {
        return unreachable(url.Failure());
    }
    Result<std::unique_ptr<UnitPool>> pool = UnitPool::Open(*url);
    if (!pool) {
        return unreachable(pool.Failure());
    }
    Opened opened;
    opened.dealer.reset(new PoolDealer(layout, station, std::move(*pool)));
    if (Result<void> filled = opened.dealer->m_pool->Fill(opened.dealer->m_sources); !filled) {
        return unreachable(filled.Failure());
    }
    Result<std::int64_t> stale = opened.dealer->m_pool->SpoilStale(station, slots);
    if (!stale) {
        return unreachable(stale.Failure());
    }
    opened.stale = *stale;
    return opened;
}

UnitData PoolDealer::Deal(const std::string& slot) {
    for (int passed = 0; passed < kMostPassedOver; ++passed) {
        Result<UnitPool::Drawn> drawn = m_pool->Draw(m_sources, m_station, slot);
        if (!drawn) {
            return Refused(EndReason::UnitStoreUnreachable, UnitStoreUnreachable(drawn.Failure()));
        }
        if (!drawn->lease) {
            return Refused(EndReason::UnitPoolEmpty, "unit pool empty: " + drawn->emptySource);
        }
        Result<UnitValues> values = UnitValuesOf(m_layout, drawn->lease->values);
        if (!values) {
            // A value an earlier list put in the pool and this one no longer holds: never given,
            // so never given twice either.
            (void)m_pool->Settle(drawn->lease->id, UnitPool::Verdict::Spoiled, {});
            continue;
        }
        ++m_dealsSinceCount;
        UnitData data;
        data.lease = drawn->lease->id;
        data.fields = std::move(values->fieldTexts);
        return data;
    }
    return Refused(EndReason::UnitPoolEmpty,
                   "unit pool empty: its values are no longer in the job's lists");
}

Result<void> PoolDealer::Settle(const std::string& lease, Verdict verdict,
                                const std::string& recordId) {
    const UnitPool::Verdict v = verdict == Verdict::Used      ? UnitPool::Verdict::Used
                                : verdict == Verdict::Spoiled ? UnitPool::Verdict::Spoiled
                                                              : UnitPool::Verdict::Free;
    return m_pool->Settle(lease, v, recordId);
}

std::vector<std::string> PoolDealer::Warnings() {
    std::vector<std::string> lines;
    const bool allSaid = std::all_of(m_warned.begin(), m_warned.end(), [](bool w) { return w; });
    if (!m_layout.warnBelow || allSaid || m_dealsSinceCount < m_countAfter) {
        return lines;
    }
    Result<std::vector<UnitPool::Count>> counts = m_pool->Counts(m_sources);
    if (!counts) {
        return lines;  // the next deal says what is wrong with the store
    }
    const std::int64_t bound = *m_layout.warnBelow;
    std::int64_t nearest = INT64_MAX;
    for (std::size_t s = 0; s < counts->size() && s < m_warned.size(); ++s) {
        const UnitPool::Count& c = (*counts)[s];
        // A counter makes its values as it goes: it has no end to come near.
        if (c.counter || m_warned[s]) {
            continue;
        }
        if (c.free < bound) {
            m_warned[s] = true;
            lines.push_back("unit pool low: " + c.source + " has " + std::to_string(c.free) +
                            " value(s) left (warn_below = " + std::to_string(bound) + ")");
        } else {
            nearest = std::min(nearest, c.free - bound);
        }
    }
    m_dealsSinceCount = 0;
    m_countAfter =
        nearest == INT64_MAX ? 0 : std::max<std::int64_t>(1, nearest / kStationsAllowedFor);
    return lines;
}
