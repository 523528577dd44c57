#pragma once

// The unit pool as a station, or a single run, deals from it (slot/UnitDealer.h): a job's
// [unit] sources over its store (store/UnitPool.h). Opening it brings the pool up to the job's
// sources and spoils the leases this station's slots left behind; each deal leases one value of
// every source and answers each field's text; a source that falls below the job's warn_below is
// said once.
//
// Threading rules: one thread at a time (the pool's connection's).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "slot/UnitDealer.h"
#include "store/UnitPool.h"
#include "unit/UnitLayout.h"

class PoolDealer final : public UnitDealer {
  public:
    struct Opened {
        std::unique_ptr<PoolDealer> dealer;
        std::int64_t stale = 0;  // leases found left behind, now spoiled
    };
    // `layout` must outlive the dealer. Fails as "unit store unreachable: REASON".
    static Result<Opened> Open(const UnitLayout& layout, const std::string& station,
                               const std::vector<std::string>& slots);

    UnitData Deal(const std::string& slot) override;
    Result<void> Settle(const std::string& lease, Verdict verdict,
                        const std::string& recordId) override;
    std::vector<std::string> Warnings() override;

  private:
    PoolDealer(const UnitLayout& layout, std::string station, std::unique_ptr<UnitPool> pool);

    const UnitLayout& m_layout;
    std::vector<UnitPool::Source> m_sources;
    std::string m_station;
    std::unique_ptr<UnitPool> m_pool;
    // warn_below: each source said once; the free values counted again only once enough deals
    // have passed to bring the nearest source down to it (a count of a long list is not free).
    std::vector<bool> m_warned;
    std::int64_t m_dealsSinceCount = 0;
    std::int64_t m_countAfter = 0;
};

// "unit store unreachable: REASON".
std::string UnitStoreUnreachable(const SysFailure& failure);
