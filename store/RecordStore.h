#pragma once

// The records of every box in one database, SQLite or PostgreSQL: written exactly once by id,
// found by box, exported by time and place, and counted for the line's board.
//
// The schema. `records` holds the columns that queries use (StoredRecord.h) beside the whole
// record as JSON, with indexes for the box id, (station, start), (result, reason code) and the
// start. The board's plots read two tables of counts per 15 minutes, kept in the same
// transaction as the records they count: per station (a week of a line is a few tens of
// thousands of rows, whatever the number of results), per station and slot (read only for
// one station), and the failures per reason code for the Pareto. `stavel_schema` holds the schema's
// version; opening a database migrates an older one, says so, and refuses a newer one with both
// versions named.
//
// Threading rules: one thread at a time (the connection's).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "record/Json.h"
#include "store/SqlConnection.h"
#include "store/StoreUrl.h"
#include "store/StoredRecord.h"

class RecordStore {
  public:
    // The schema this program writes: 1 the records, 2 the counts per 15 minutes.
    static constexpr int kSchema = 2;
    using Say = std::function<void(const std::string&)>;

    // Connects and brings the schema up to date (saying when it migrated an older one); fails
    // when the database cannot be reached (status Lost), is not one, or is of a newer schema.
    static Result<std::unique_ptr<RecordStore>> Open(const StoreUrl& url, const Say& say = {});
    // The same on a connection made elsewhere, migrated to `schema` (a test makes an old one).
    static Result<std::unique_ptr<RecordStore>> On(std::unique_ptr<SqlConnection> connection,
                                                   const Say& say = {}, int schema = kSchema);

    // Writes, in one transaction, each record the database does not hold yet; answers how many
    // were new.
    Result<int> Put(const std::vector<StoredRecord>& records);

    // A record with the station and slot it is counted under.
    struct Placed {
        std::string station;
        std::string slot;
        std::string json;
    };

    // Every record of the box, oldest first.
    Result<void> FindBox(const std::string& boxId, const std::function<bool(const Placed&)>& each);

    struct Filter {
        std::int64_t fromMs = 0;  // start, inclusive
        std::int64_t toMs = 0;    // start, exclusive
        std::optional<std::string> station;
        std::optional<std::string> slot;
        std::optional<std::string> result;  // "pass", "fail", "aborted"
    };
    // The records that started in the filter's time, oldest first, as JSON lines.
    Result<void> Export(const Filter& filter, const std::function<bool(const std::string&)>& each);

    struct ReasonCount {
        std::string reasonCode;
        std::int64_t count = 0;
    };
    // The failed boxes of the filter's time and place per reason code, the most first.
    Result<std::vector<ReasonCount>> Pareto(const Filter& filter);
    // The same from the counts per 15 minutes (the board's: a week of a line reads a few
    // thousand rows, not its records), for the line, `station` or one of its `slot`s.
    Result<std::vector<ReasonCount>> ParetoOfCounts(std::int64_t fromMs, std::int64_t toMs,
                                                    const std::string& station,
                                                    const std::string& slot);

    // The board's plot, from the counts: passes, fails and the mean seconds per box for each 15
    // minutes from `fromMs` to `toMs`, for the line, `station` or one of its `slot`s; the
    // passes and fails of every station, and of each slot of `station`.
    // {"bin_ms":900000,"from":<ms>,"bins":[[passes,fails,mean or null],...],
    //  "stations":[[name,passes,fails],...],"slots":[[name,passes,fails],...]}
    Result<Json> Plot(std::int64_t fromMs, std::int64_t toMs, const std::string& station,
                      const std::string& slot);

    // The latest records that did not pass, newest first, at most `most`.
    Result<std::vector<Placed>> LastFailures(int most);

    // The ids of the `most` latest records, newest first.
    Result<std::vector<std::string>> LatestIds(int most);

    // Deletes at most `most` of the records that started before `beforeMs` (taken down to its
    // 15 minutes, with their counts); answers how many went. Called again until it answers 0,
    // each batch its own short transaction.
    Result<std::int64_t> DeleteBefore(std::int64_t beforeMs, int most);

    // How many records it holds.
    Result<std::int64_t> Count();
    int Schema() const { return m_schema; }
    SqlConnection& Connection() { return *m_connection; }
    const std::string& Shown() const { return m_connection->Shown(); }

  private:
    explicit RecordStore(std::unique_ptr<SqlConnection> connection)
        : m_connection(std::move(connection)) {}
    Result<void> Migrate(const Say& say, int schema);

    std::unique_ptr<SqlConnection> m_connection;
    int m_schema = 0;
};
