#pragma once

// Where a box's own data comes from: the unit pool (store/PoolDealer.h), behind this interface
// so that a station draws for its slots, and a single run for itself, without knowing the
// database. The host makes one and hands it over.
//
// Threading rules: one thread at a time (a station's supervisor, a single run's UI thread).

#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "slot/UnitData.h"

class UnitDealer {
  public:
    enum class Verdict { Used, Spoiled, Free };

    virtual ~UnitDealer() = default;
    // One value of each source for the box `slot` serves next, leased under a new lease; or,
    // without values, why there are none ("unit pool empty: serial", "unit store unreachable:
    // ..."). The values come as each field's text.
    virtual UnitData Deal(const std::string& slot) = 0;
    // The end of a lease's box, kept with its record's id.
    virtual Result<void> Settle(const std::string& lease, Verdict verdict,
                                const std::string& recordId) = 0;
    // A line for each source that has fallen below the job's warn_below since the last call;
    // each source is said once a run.
    virtual std::vector<std::string> Warnings() = 0;
};

// The rule of the pool: used when its box passed; free again only when none of its bytes
// reached the port; spoiled otherwise.
inline UnitDealer::Verdict LeaseVerdict(bool passed, std::int64_t reached) {
    return passed         ? UnitDealer::Verdict::Used
           : reached == 0 ? UnitDealer::Verdict::Free
                          : UnitDealer::Verdict::Spoiled;
}
