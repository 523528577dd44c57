#include "store/UnitPool.h"

#include <chrono>

#include "record/RecordId.h"
#include "store/SqlOpen.h"

namespace {

const std::vector<std::vector<const char*>>& Migrations() {
    static const std::vector<std::vector<const char*>> steps = {
        // 1: the values and the counters.
        {
            "CREATE TABLE unit_values ("
            " source TEXT NOT NULL, value TEXT NOT NULL, seq BIGINT NOT NULL,"
            " state TEXT NOT NULL, lease TEXT, station TEXT, slot TEXT, record_id TEXT,"
            " changed_ms BIGINT NOT NULL, PRIMARY KEY (source, value))",
            "CREATE INDEX unit_values_draw ON unit_values (source, state, seq)",
            "CREATE INDEX unit_values_lease ON unit_values (lease)",
            "CREATE TABLE unit_counters ("
            " source TEXT PRIMARY KEY, next BIGINT NOT NULL, step BIGINT NOT NULL)",
        },
    };
    return steps;
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::int64_t Whole(const std::optional<std::string>& cell) {
    return cell ? std::stoll(*cell) : 0;
}

// Runs `sql` and answers the first column of its first row, if any.
Result<std::optional<std::string>> First(SqlConnection& db, const std::string& sql,
                                         const std::vector<SqlValue>& params) {
    std::optional<std::string> first;
    Result<void> read = db.Query(sql, params, [&](const SqlRow& row) {
        first = row.at(0);
        return false;
    });
    if (!read) {
        return read.Failure();
    }
    return first;
}

}  // namespace

Result<std::unique_ptr<UnitPool>> UnitPool::Open(const StoreUrl& url) {
    Result<std::unique_ptr<SqlConnection>> connection = OpenSqlConnection(url);
    if (!connection) {
        return connection.Failure();
    }
    return On(std::move(*connection));
}

Result<std::unique_ptr<UnitPool>> UnitPool::On(std::unique_ptr<SqlConnection> connection) {
    std::unique_ptr<UnitPool> pool(new UnitPool(std::move(connection)));
    if (Result<void> migrated = pool->Migrate(); !migrated) {
        return migrated.Failure();
    }
    return pool;
}

Result<void> UnitPool::Migrate() {
    SqlConnection& db = *m_connection;
    const char* exists =
        db.Dialect() == SqlDialect::Sqlite
            ? "SELECT count(*) FROM sqlite_master WHERE type = 'table'"
              " AND name = 'unit_pool_schema'"
            : "SELECT count(*) FROM information_schema.tables"
              " WHERE table_name = 'unit_pool_schema' AND table_schema = current_schema()";
    const auto version = [&]() -> Result<int> {
        Result<std::optional<std::string>> found = First(db, exists, {});
        if (!found) {
            return found.Failure();
        }
        if (Whole(*found) == 0) {
            return 0;
        }
        Result<std::optional<std::string>> v =
            First(db, "SELECT max(version) FROM unit_pool_schema", {});
        return v ? Result<int>(static_cast<int>(Whole(*v))) : Result<int>(v.Failure());
    };
    const auto newer = [&](int found) {
        return Refusal(db.Shown(), "the unit pool's schema is version " + std::to_string(found) +
                                       ", newer than this stavel's (" + std::to_string(kSchema) +
                                       "); use a newer stavel");
    };
    Result<int> before = version();
    if (!before) {
        return before.Failure();
    }
    if (*before == kSchema) {
        return {};
    }
    if (*before > kSchema) {
        return newer(*before);
    }
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun;
    }
    // Two stations making one pool at once: the second waits here, then finds it made.
    if (db.Dialect() == SqlDialect::Postgres) {
        if (Result<std::int64_t> locked = db.Run("SELECT pg_advisory_xact_lock(727302)"); !locked) {
            (void)db.Rollback();
            return locked.Failure();
        }
    }
    Result<int> now = version();
    const auto fail = [&](const SysFailure& failure) -> Result<void> {
        (void)db.Rollback();
        return failure;
    };
    if (!now) {
        return fail(now.Failure());
    }
    if (*now >= kSchema) {
        (void)db.Rollback();
        return *now == kSchema ? Result<void>() : Result<void>(newer(*now));
    }
    if (*now == 0) {
        for (const char* sql : {"CREATE TABLE unit_pool_schema (version INTEGER NOT NULL)",
                                "INSERT INTO unit_pool_schema (version) VALUES (0)"}) {
            if (Result<std::int64_t> done = db.Run(sql); !done) {
                return fail(done.Failure());
            }
        }
    }
    for (int step = *now + 1; step <= kSchema; ++step) {
        for (const char* sql : Migrations()[static_cast<std::size_t>(step - 1)]) {
            if (Result<std::int64_t> done = db.Run(sql); !done) {
                return fail(done.Failure());
            }
        }
    }
    if (Result<std::int64_t> done =
            db.Run("UPDATE unit_pool_schema SET version = $1", {std::int64_t{kSchema}});
        !done) {
        return fail(done.Failure());
    }
    return db.Commit();
}

Result<void> UnitPool::Fill(const std::vector<Source>& sources) {
    SqlConnection& db = *m_connection;
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun;
    }
    const std::int64_t now = NowMs();
    for (const Source& source : sources) {
        Result<std::int64_t> done = std::int64_t{0};
        if (source.counter) {
            // A start raised in the job raises the counter; one lowered never lowers it.
            done = db.Run(
                "INSERT INTO unit_counters (source, next, step) VALUES ($1, $2, $3)"
                " ON CONFLICT (source) DO UPDATE SET step = excluded.step,"
                " next = CASE WHEN unit_counters.next < excluded.next THEN excluded.next"
                " ELSE unit_counters.next END",
                {source.name, source.start, source.step});
        }
        for (std::size_t i = 0; done && i < source.values.size(); ++i) {
            done = db.Run(
                "INSERT INTO unit_values (source, value, seq, state, changed_ms)"
                " VALUES ($1, $2, $3, 'free', $4) ON CONFLICT (source, value) DO NOTHING",
                {source.name, source.values[i], static_cast<std::int64_t>(i), now});
        }
        if (!done) {
            (void)db.Rollback();
            return done.Failure();
        }
    }
    return db.Commit();
}

Result<std::int64_t> UnitPool::SpoilStale(const std::string& station,
                                          const std::vector<std::string>& slots) {
    SqlConnection& db = *m_connection;
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun.Failure();
    }
    std::int64_t spoiled = 0;
    for (const std::string& slot : slots) {
        // Counted in leases, one a box, whatever the number of sources.
        Result<std::optional<std::string>> leases =
            First(db,
                  "SELECT count(DISTINCT lease) FROM unit_values"
                  " WHERE state = 'leased' AND station = $1 AND slot = $2",
                  {station, slot});
        if (!leases) {
            (void)db.Rollback();
            return leases.Failure();
        }
        spoiled += Whole(*leases);
        Result<std::int64_t> done = db.Run(
            "UPDATE unit_values SET state = 'spoiled', changed_ms = $3"
            " WHERE state = 'leased' AND station = $1 AND slot = $2",
            {station, slot, NowMs()});
        if (!done) {
            (void)db.Rollback();
            return done.Failure();
        }
    }
    if (Result<void> committed = db.Commit(); !committed) {
        return committed.Failure();
    }
    return spoiled;
}

Result<std::optional<std::string>> UnitPool::DrawOne(const Source& source, const std::string& lease,
                                                     const std::string& station,
                                                     const std::string& slot, std::int64_t now) {
    SqlConnection& db = *m_connection;
    // Another station's draw holds its rows: skip them rather than wait for its commit.
    const std::string skip = db.Dialect() == SqlDialect::Postgres ? " FOR UPDATE SKIP LOCKED" : "";
    Result<std::optional<std::string>> free = First(
        db,
        "SELECT value FROM unit_values WHERE source = $1 AND state = 'free' ORDER BY seq LIMIT 1" +
            skip,
        {source.name});
    if (!free) {
        return free;
    }
    if (*free) {
        Result<std::int64_t> taken = db.Run(
            "UPDATE unit_values SET state = 'leased', lease = $3, station = $4, slot = $5,"
            " record_id = NULL, changed_ms = $6 WHERE source = $1 AND value = $2 AND state = "
            "'free'",
            {source.name, **free, lease, station, slot, now});
        if (!taken) {
            return taken.Failure();
        }
        return free;
    }
    if (!source.counter) {
        return std::optional<std::string>();
    }
    // A counter makes its next value; one the pool already holds (a counter set back by hand)
    // is passed over, never given twice.
    for (int tries = 0; tries < 1000; ++tries) {
        Result<std::optional<std::string>> next = First(
            db,
            "UPDATE unit_counters SET next = next + step WHERE source = $1 RETURNING next - step",
            {source.name});
        if (!next) {
            return next;
        }
        if (!*next) {
            return Refusal(db.Shown(), "the unit pool has no counter '" + source.name + "'");
        }
        const std::int64_t n = std::stoll(**next);
        Result<std::int64_t> made = db.Run(
            "INSERT INTO unit_values (source, value, seq, state, lease, station, slot, changed_ms)"
            " VALUES ($1, $2, $3, 'leased', $4, $5, $6, $7) ON CONFLICT (source, value) DO NOTHING",
            {source.name, std::to_string(n), n, lease, station, slot, now});
        if (!made) {
            return made.Failure();
        }
        if (*made == 1) {
            return std::optional<std::string>(std::to_string(n));
        }
    }
    return std::optional<std::string>();
}

Result<UnitPool::Drawn> UnitPool::Draw(const std::vector<Source>& sources,
                                       const std::string& station, const std::string& slot) {
    SqlConnection& db = *m_connection;
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun.Failure();
    }
    Lease lease;
    lease.id = NewRecordId();
    const std::int64_t now = NowMs();
    for (const Source& source : sources) {
        Result<std::optional<std::string>> value = DrawOne(source, lease.id, station, slot, now);
        if (!value) {
            (void)db.Rollback();
            return value.Failure();
        }
        if (!*value) {
            // All or nothing: the values drawn so far go back with the rollback.
            if (Result<void> back = db.Rollback(); !back) {
                return back.Failure();
            }
            return Drawn{std::nullopt, source.name};
        }
        lease.values.push_back(**value);
    }
    if (Result<void> committed = db.Commit(); !committed) {
        return committed.Failure();
    }
    return Drawn{std::move(lease), {}};
}

Result<void> UnitPool::Settle(const std::string& leaseId, Verdict verdict,
                              const std::string& recordId) {
    SqlConnection& db = *m_connection;
    Result<std::int64_t> done =
        verdict == Verdict::Free
            ? db.Run(
                  "UPDATE unit_values SET state = 'free', lease = NULL, station = NULL,"
                  " slot = NULL, record_id = NULL, changed_ms = $2"
                  " WHERE lease = $1 AND state = 'leased'",
                  {leaseId, NowMs()})
            : db.Run(
                  "UPDATE unit_values SET state = $2, record_id = $3, changed_ms = $4"
                  " WHERE lease = $1 AND state = 'leased'",
                  {leaseId, std::string(verdict == Verdict::Used ? "used" : "spoiled"),
                   recordId.empty() ? SqlValue() : SqlValue(recordId), NowMs()});
    return done ? Result<void>() : Result<void>(done.Failure());
}

Result<std::vector<UnitPool::Count>> UnitPool::Counts(const std::vector<Source>& sources) {
    SqlConnection& db = *m_connection;
    std::vector<Count> counts;
    for (const Source& source : sources) {
        Count c;
        c.source = source.name;
        c.counter = source.counter;
        Result<void> read =
            db.Query("SELECT state, count(*) FROM unit_values WHERE source = $1 GROUP BY state",
                     {source.name}, [&](const SqlRow& row) {
                         const std::string state = row.at(0).value_or("");
                         const std::int64_t n = Whole(row.at(1));
                         (state == "free"     ? c.free
                          : state == "used"   ? c.used
                          : state == "leased" ? c.leased
                                              : c.spoiled) += n;
                         return true;
                     });
        if (!read) {
            return read.Failure();
        }
        Result<std::optional<std::string>> next =
            First(db,
                  "SELECT value FROM unit_values WHERE source = $1 AND state = 'free' ORDER BY seq "
                  "LIMIT 1",
                  {source.name});
        if (!next) {
            return next.Failure();
        }
        c.next = *next;
        if (!c.next && source.counter) {
            Result<std::optional<std::string>> counted =
                First(db, "SELECT next FROM unit_counters WHERE source = $1", {source.name});
            if (!counted) {
                return counted.Failure();
            }
            c.next = *counted;
        }
        counts.push_back(std::move(c));
    }
    return counts;
}
