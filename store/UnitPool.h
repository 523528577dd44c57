#pragma once

// The pool of per-unit values (serial numbers, MAC addresses, keys) in a real database, so that
// no value is ever given twice: not across a crash, not across stations that draw from one pool.
//
// A value's life: free; leased to a station's slot when a box is about to be served, before any
// answer depends on it; then, by the box's end, used (with the record's id) when it passed,
// spoiled (with the record's id) when any byte of it reached the port and the box did not pass,
// or free again only when none of its bytes reached the port. A lease left by a process that
// died stays leased until its station starts again, which spoils it (never gives it again) and
// counts it; a station spoils only its own slots' leases, never another running station's.
//
// The lock is the database's own: a draw is one transaction, SQLite's taken for writing at its
// start (BEGIN IMMEDIATE: one writer at a time, across processes), PostgreSQL's rows taken with
// SELECT ... FOR UPDATE SKIP LOCKED (two stations draw different rows at once) and a counter's
// row with its UPDATE.
//
// The tables, beside the records' and versioned apart from them in `unit_pool_schema`:
//   unit_values   (source, value) the key; seq (a list's line, a counter's number) orders the
//                 draws; state free|leased|used|spoiled; lease, station, slot, record_id,
//                 changed_ms
//   unit_counters (source) the key; next, step
//
// Threading rules: one thread at a time (the connection's).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "store/SqlConnection.h"
#include "store/StoreUrl.h"

class UnitPool {
  public:
    static constexpr int kSchema = 1;
    using Say = std::function<void(const std::string&)>;

    // Connects and makes or migrates the pool's tables; a pool of a newer schema is refused with
    // both versions named.
    static Result<std::unique_ptr<UnitPool>> Open(const StoreUrl& url);
    static Result<std::unique_ptr<UnitPool>> On(std::unique_ptr<SqlConnection> connection);

    // A source of values: a counter (values made as drawn, from `start` by `step`) or a list
    // (its values put in the pool free, the ones it already holds left as they are).
    struct Source {
        std::string name;
        bool counter = false;
        std::int64_t start = 0;
        std::int64_t step = 1;
        std::vector<std::string> values;  // a list's, in its order
    };
    // Brings the pool up to the sources: a list's new values free, a counter at least at its
    // start. Run at every start; values it holds are never touched.
    Result<void> Fill(const std::vector<Source>& sources);

    // Spoils the leases that `station`'s `slots` left behind (a process that died mid-box);
    // answers how many leases (boxes) it found.
    Result<std::int64_t> SpoilStale(const std::string& station,
                                    const std::vector<std::string>& slots);

    struct Lease {
        std::string id;
        std::vector<std::string> values;  // one per source, in the sources' order
    };
    struct Drawn {
        std::optional<Lease> lease;
        std::string emptySource;  // without a lease: the source that has no value left
    };
    // One value of each source, leased to `station`'s `slot` in one transaction: all of them
    // or none.
    Result<Drawn> Draw(const std::vector<Source>& sources, const std::string& station,
                       const std::string& slot);

    enum class Verdict { Used, Spoiled, Free };
    // The end of a lease's box. Used and Spoiled keep the record's id; Free gives the values
    // back (only when none of their bytes reached the port). A lease already settled, or
    // spoiled as stale, is left as it is.
    Result<void> Settle(const std::string& leaseId, Verdict verdict, const std::string& recordId);

    struct Count {
        std::string source;
        bool counter = false;
        std::int64_t free = 0;            // a list's free values; a counter's given back ones
        std::optional<std::string> next;  // the value the next draw gives
        std::int64_t used = 0;
        std::int64_t spoiled = 0;
        std::int64_t leased = 0;
    };
    Result<std::vector<Count>> Counts(const std::vector<Source>& sources);

    const std::string& Shown() const { return m_connection->Shown(); }
    SqlConnection& Connection() { return *m_connection; }

  private:
    explicit UnitPool(std::unique_ptr<SqlConnection> connection)
        : m_connection(std::move(connection)) {}
    Result<void> Migrate();
    // Inside a draw's transaction: a free value of `source`, or a counter's next one, leased.
    Result<std::optional<std::string>> DrawOne(const Source& source, const std::string& lease,
                                               const std::string& station, const std::string& slot,
                                               std::int64_t now);

    std::unique_ptr<SqlConnection> m_connection;
};
