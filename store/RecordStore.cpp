#include "store/RecordStore.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "store/PostgresConnection.h"
#include "store/SqliteConnection.h"

namespace {

// Each version's steps, in order; the same SQL for both databases.
const std::vector<std::vector<const char*>>& Migrations() {
    static const std::vector<std::vector<const char*>> steps = {
        // 1: the records, the columns that are queried beside the whole record.
        {
            "CREATE TABLE records ("
            " id TEXT PRIMARY KEY,"
            " box_id TEXT,"
            " station TEXT NOT NULL,"
            " slot TEXT NOT NULL,"
            " job TEXT,"
            " image_sha256 TEXT,"
            " result TEXT NOT NULL,"
            " reason_code TEXT,"
            " start_ms BIGINT NOT NULL,"
            " end_ms BIGINT NOT NULL,"
            " seconds DOUBLE PRECISION NOT NULL,"
            " operator TEXT,"
            " attempt INTEGER NOT NULL,"
            " record TEXT NOT NULL)",
            "CREATE INDEX records_box_id ON records (box_id)",
            "CREATE INDEX records_station_start ON records (station, start_ms)",
            "CREATE INDEX records_result_reason ON records (result, reason_code, start_ms)",
            "CREATE INDEX records_start ON records (start_ms)",
        },
        // 2: passes and fails per 15 minutes, per station and per slot, for the board's plots;
        // counted from the records already there.
        {
            "CREATE TABLE station_bins ("
            " bin BIGINT NOT NULL, station TEXT NOT NULL,"
            " passes BIGINT NOT NULL, fails BIGINT NOT NULL, seconds DOUBLE PRECISION NOT NULL,"
            " PRIMARY KEY (bin, station))",
            "CREATE TABLE slot_bins ("
            " station TEXT NOT NULL, bin BIGINT NOT NULL, slot TEXT NOT NULL,"
            " passes BIGINT NOT NULL, fails BIGINT NOT NULL, seconds DOUBLE PRECISION NOT NULL,"
            " PRIMARY KEY (station, bin, slot))",
            "CREATE INDEX slot_bins_bin ON slot_bins (bin)",
            "CREATE TABLE reason_bins ("
            " station TEXT NOT NULL, bin BIGINT NOT NULL, slot TEXT NOT NULL,"
            " reason_code TEXT NOT NULL, fails BIGINT NOT NULL,"
            " PRIMARY KEY (station, bin, slot, reason_code))",
            "CREATE INDEX reason_bins_bin ON reason_bins (bin)",
            "INSERT INTO station_bins (bin, station, passes, fails, seconds)"
            " SELECT start_ms / 900000, station,"
            " sum(CASE WHEN result = 'pass' THEN 1 ELSE 0 END),"
            " sum(CASE WHEN result = 'fail' THEN 1 ELSE 0 END), sum(seconds)"
            " FROM records WHERE result <> 'aborted' GROUP BY start_ms / 900000, station",
            "INSERT INTO slot_bins (station, bin, slot, passes, fails, seconds)"
            " SELECT station, start_ms / 900000, slot,"
            " sum(CASE WHEN result = 'pass' THEN 1 ELSE 0 END),"
            " sum(CASE WHEN result = 'fail' THEN 1 ELSE 0 END), sum(seconds)"
            " FROM records WHERE result <> 'aborted' GROUP BY station, start_ms / 900000, slot",
            "INSERT INTO reason_bins (station, bin, slot, reason_code, fails)"
            " SELECT station, start_ms / 900000, slot, coalesce(reason_code, ''), count(*)"
            " FROM records WHERE result = 'fail'"
            " GROUP BY station, start_ms / 900000, slot, coalesce(reason_code, '')",
        },
    };
    return steps;
}

constexpr const char* kInsertRecord =
    "INSERT INTO records (id, box_id, station, slot, job, image_sha256, result, reason_code,"
    " start_ms, end_ms, seconds, operator, attempt, record)"
    " VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14)"
    " ON CONFLICT (id) DO NOTHING";
constexpr const char* kCountStation =
    "INSERT INTO station_bins (bin, station, passes, fails, seconds) VALUES ($1, $2, $3, $4, $5)"
    " ON CONFLICT (bin, station) DO UPDATE SET passes = station_bins.passes + excluded.passes,"
    " fails = station_bins.fails + excluded.fails,"
    " seconds = station_bins.seconds + excluded.seconds";
constexpr const char* kCountReason =
    "INSERT INTO reason_bins (station, bin, slot, reason_code, fails) VALUES ($1, $2, $3, $4, $5)"
    " ON CONFLICT (station, bin, slot, reason_code) DO UPDATE"
    " SET fails = reason_bins.fails + excluded.fails";
constexpr const char* kCountSlot =
    "INSERT INTO slot_bins (station, bin, slot, passes, fails, seconds)"
    " VALUES ($1, $2, $3, $4, $5, $6)"
    " ON CONFLICT (station, bin, slot) DO UPDATE SET passes = slot_bins.passes + excluded.passes,"
    " fails = slot_bins.fails + excluded.fails, seconds = slot_bins.seconds + excluded.seconds";

SqlValue TextOrNull(const std::optional<std::string>& text) {
    return text ? SqlValue(*text) : SqlValue();
}

std::int64_t Whole(const std::optional<std::string>& cell) {
    return cell ? std::stoll(*cell) : 0;
}

double Number(const std::optional<std::string>& cell) {
    return cell ? std::stod(*cell) : 0;
}

// The WHERE of a filter, with its parameters numbered after `params`.
std::string Where(const RecordStore::Filter& filter, std::vector<SqlValue>& params) {
    const auto next = [&](SqlValue value) {
        params.push_back(std::move(value));
        return "$" + std::to_string(params.size());
    };
    std::string where = " WHERE start_ms >= " + next(filter.fromMs);
    where += " AND start_ms < " + next(filter.toMs);
    if (filter.station) {
        where += " AND station = " + next(*filter.station);
    }
    if (filter.slot) {
        where += " AND slot = " + next(*filter.slot);
    }
    if (filter.result) {
        where += " AND result = " + next(*filter.result);
    }
    return where;
}

struct Counts {
    std::int64_t passes = 0;
    std::int64_t fails = 0;
    double seconds = 0;
};

}  // namespace

Result<std::unique_ptr<RecordStore>> RecordStore::Open(const StoreUrl& url, const Say& say) {
    std::unique_ptr<SqlConnection> connection;
    if (url.kind == StoreUrl::Kind::Sqlite) {
        Result<std::unique_ptr<SqliteConnection>> opened = SqliteConnection::Open(url.target);
        if (!opened) {
            return opened.Failure();
        }
        connection = std::move(*opened);
    } else {
        Result<std::unique_ptr<PostgresConnection>> opened =
            PostgresConnection::Open(url.target, url.shown);
        if (!opened) {
            return opened.Failure();
        }
        connection = std::move(*opened);
    }
    return On(std::move(connection), say);
}

Result<std::unique_ptr<RecordStore>> RecordStore::On(std::unique_ptr<SqlConnection> connection,
                                                     const Say& say, int schema) {
    std::unique_ptr<RecordStore> store(new RecordStore(std::move(connection)));
    if (Result<void> migrated = store->Migrate(say, schema); !migrated) {
        return migrated.Failure();
    }
    return store;
}

Result<void> RecordStore::Migrate(const Say& say, int schema) {
    SqlConnection& db = *m_connection;
    const char* exists =
        db.Dialect() == SqlDialect::Sqlite
            ? "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'stavel_schema'"
            : "SELECT count(*) FROM information_schema.tables"
              " WHERE table_name = 'stavel_schema' AND table_schema = current_schema()";
    const auto version = [&]() -> Result<int> {
        Result<std::vector<SqlRow>> found = db.Rows(exists);
        if (!found) {
            return found.Failure();
        }
        if (Whole(found->at(0).at(0)) == 0) {
            return 0;
        }
        Result<std::vector<SqlRow>> rows = db.Rows("SELECT max(version) FROM stavel_schema");
        if (!rows) {
            return rows.Failure();
        }
        return static_cast<int>(Whole(rows->at(0).at(0)));
    };
    // A database of this schema is only read: --find works on a file it may not write.
    Result<int> before = version();
    if (!before) {
        return before.Failure();
    }
    if (*before == schema) {
        m_schema = schema;
        return {};
    }
    if (*before > schema) {
        return Refusal(db.Shown(), "the database's schema is version " + std::to_string(*before) +
                                       ", newer than this stavel's (" + std::to_string(schema) +
                                       "); use a newer stavel");
    }
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun;
    }
    // Two programs opening a new database at once: the second waits here, then finds it made.
    Result<int> now = db.Dialect() == SqlDialect::Postgres
                          ? Result<int>(db.Run("SELECT pg_advisory_xact_lock(727301)")
                                            ? version()
                                            : Result<int>(SysFailure()))
                          : version();
    const auto fail = [&](const SysFailure& failure) -> Result<void> {
        (void)db.Rollback();
        return failure;
    };
    if (!now) {
        return fail(now.Failure().Failed() ? now.Failure()
                                           : Refusal(db.Shown(), "the schema cannot be locked"));
    }
    if (*now > schema) {
        (void)db.Rollback();
        return Migrate(say, schema);  // made newer meanwhile: refused above
    }
    if (*now == 0) {
        for (const char* sql : {"CREATE TABLE stavel_schema (version INTEGER NOT NULL)",
                                "INSERT INTO stavel_schema (version) VALUES (0)"}) {
            if (Result<std::int64_t> done = db.Run(sql); !done) {
                return fail(done.Failure());
            }
        }
    }
    for (int step = *now + 1; step <= schema; ++step) {
        for (const char* sql : Migrations()[static_cast<std::size_t>(step - 1)]) {
            if (Result<std::int64_t> done = db.Run(sql); !done) {
                return fail(done.Failure());
            }
        }
    }
    if (Result<std::int64_t> done =
            db.Run("UPDATE stavel_schema SET version = $1", {std::int64_t{schema}});
        !done) {
        return fail(done.Failure());
    }
    if (Result<void> committed = db.Commit(); !committed) {
        return committed;
    }
    if (*now > 0 && *now < schema && say) {
        say("database " + db.Shown() + ": the schema was version " + std::to_string(*now) +
            "; migrated to version " + std::to_string(schema));
    }
    m_schema = schema;
    return {};
}

Result<int> RecordStore::Put(const std::vector<StoredRecord>& records) {
    SqlConnection& db = *m_connection;
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun.Failure();
    }
    const auto fail = [&](const SysFailure& failure) -> Result<int> {
        (void)db.Rollback();
        return failure;
    };
    int added = 0;
    // The counts of this batch, added to the tables once per 15 minutes and place.
    std::map<std::tuple<std::int64_t, std::string, std::string>, Counts> slots;
    std::map<std::tuple<std::int64_t, std::string, std::string, std::string>, std::int64_t> reasons;
    for (const StoredRecord& r : records) {
        Result<std::int64_t> inserted =
            db.Run(kInsertRecord,
                   {r.id, TextOrNull(r.boxId), r.station, r.slot, TextOrNull(r.job),
                    TextOrNull(r.imageSha256), r.result, TextOrNull(r.reasonCode), r.startMs,
                    r.endMs, r.seconds, TextOrNull(r.operatorName), r.attempt, r.json});
        if (!inserted) {
            return fail(inserted.Failure());
        }
        if (*inserted == 0) {
            continue;  // written before: by this program, another station or the board
        }
        ++added;
        if (r.result == "aborted" || !r.final) {
            // Neither a pass nor a fail, or an attempt tried again (its box counts by its final
            // attempt): yield and time per box leave it out.
            continue;
        }
        Counts& counts = slots[{RecordBinOf(r.startMs), r.station, r.slot}];
        (r.result == "pass" ? counts.passes : counts.fails) += 1;
        counts.seconds += r.seconds;
        if (r.result == "fail") {
            ++reasons[{RecordBinOf(r.startMs), r.station, r.slot, r.reasonCode.value_or("")}];
        }
    }
    for (const auto& [key, fails] : reasons) {
        const auto& [bin, station, slot, code] = key;
        if (Result<std::int64_t> counted = db.Run(kCountReason, {station, bin, slot, code, fails});
            !counted) {
            return fail(counted.Failure());
        }
    }
    std::map<std::pair<std::int64_t, std::string>, Counts> stations;
    for (const auto& [key, counts] : slots) {
        const auto& [bin, station, slot] = key;
        Counts& sum = stations[{bin, station}];
        sum.passes += counts.passes;
        sum.fails += counts.fails;
        sum.seconds += counts.seconds;
        Result<std::int64_t> counted =
            db.Run(kCountSlot, {station, bin, slot, counts.passes, counts.fails, counts.seconds});
        if (!counted) {
            return fail(counted.Failure());
        }
    }
    for (const auto& [key, counts] : stations) {
        Result<std::int64_t> counted = db.Run(
            kCountStation, {key.first, key.second, counts.passes, counts.fails, counts.seconds});
        if (!counted) {
            return fail(counted.Failure());
        }
    }
    if (Result<void> committed = db.Commit(); !committed) {
        return committed.Failure();
    }
    return added;
}

Result<void> RecordStore::FindBox(const std::string& boxId,
                                  const std::function<bool(const Placed&)>& each) {
    return m_connection->Query(
        "SELECT station, slot, record FROM records WHERE box_id = $1 ORDER BY start_ms, id",
        {boxId}, [&](const SqlRow& row) {
            return each({row.at(0).value_or(""), row.at(1).value_or(""), row.at(2).value_or("")});
        });
}

Result<void> RecordStore::Export(const Filter& filter,
                                 const std::function<bool(const std::string&)>& each) {
    std::vector<SqlValue> params;
    const std::string sql =
        "SELECT record FROM records" + Where(filter, params) + " ORDER BY start_ms, id";
    return m_connection->Query(sql, params,
                               [&](const SqlRow& row) { return each(row.at(0).value_or("")); });
}

Result<std::vector<RecordStore::ReasonCount>> RecordStore::Pareto(const Filter& filter) {
    Filter failed = filter;
    failed.result = "fail";
    std::vector<SqlValue> params;
    const std::string sql = "SELECT reason_code, count(*) FROM records" + Where(failed, params) +
                            " GROUP BY reason_code";
    Result<std::vector<SqlRow>> rows = m_connection->Rows(sql, params);
    if (!rows) {
        return rows.Failure();
    }
    std::vector<ReasonCount> counts;
    for (const SqlRow& row : *rows) {
        counts.push_back({row.at(0).value_or(""), Whole(row.at(1))});
    }
    // Ties in the words' order, the same in both databases whatever their collation.
    std::sort(counts.begin(), counts.end(), [](const ReasonCount& a, const ReasonCount& b) {
        return a.count != b.count ? a.count > b.count : a.reasonCode < b.reasonCode;
    });
    return counts;
}

Result<std::vector<RecordStore::ReasonCount>> RecordStore::ParetoOfCounts(
    std::int64_t fromMs, std::int64_t toMs, const std::string& station, const std::string& slot) {
    std::vector<SqlValue> params{RecordBinOf(fromMs), RecordBinOf(toMs)};
    std::string sql =
        "SELECT reason_code, sum(fails) FROM reason_bins WHERE bin >= $1 AND bin <= $2";
    if (!station.empty()) {
        params.emplace_back(station);
        sql += " AND station = $3";
        if (!slot.empty()) {
            params.emplace_back(slot);
            sql += " AND slot = $4";
        }
    }
    Result<std::vector<SqlRow>> rows = m_connection->Rows(sql + " GROUP BY reason_code", params);
    if (!rows) {
        return rows.Failure();
    }
    std::vector<ReasonCount> counts;
    for (const SqlRow& row : *rows) {
        counts.push_back({row.at(0).value_or(""), Whole(row.at(1))});
    }
    std::sort(counts.begin(), counts.end(), [](const ReasonCount& a, const ReasonCount& b) {
        return a.count != b.count ? a.count > b.count : a.reasonCode < b.reasonCode;
    });
    return counts;
}

Result<Json> RecordStore::Plot(std::int64_t fromMs, std::int64_t toMs, const std::string& station,
                               const std::string& slot) {
    const std::int64_t first = RecordBinOf(fromMs);
    const std::int64_t last = std::max(first, RecordBinOf(toMs));
    SqlConnection& db = *m_connection;
    std::vector<Counts> bins(static_cast<std::size_t>(last - first + 1));
    const auto intoBins = [&](const SqlRow& row) {
        const std::int64_t bin = Whole(row.at(0));
        if (bin >= first && bin <= last) {
            Counts& counts = bins[static_cast<std::size_t>(bin - first)];
            counts.passes += Whole(row.at(1));
            counts.fails += Whole(row.at(2));
            counts.seconds += Number(row.at(3));
        }
        return true;
    };
    Result<void> read;
    if (station.empty()) {
        read = db.Query(
            "SELECT bin, sum(passes), sum(fails), sum(seconds) FROM station_bins"
            " WHERE bin >= $1 AND bin <= $2 GROUP BY bin",
            {first, last}, intoBins);
    } else if (slot.empty()) {
        read = db.Query(
            "SELECT bin, passes, fails, seconds FROM station_bins"
            " WHERE bin >= $1 AND bin <= $2 AND station = $3",
            {first, last, station}, intoBins);
    } else {
        read = db.Query(
            "SELECT bin, passes, fails, seconds FROM slot_bins"
            " WHERE station = $3 AND bin >= $1 AND bin <= $2 AND slot = $4",
            {first, last, station, slot}, intoBins);
    }
    if (!read) {
        return read.Failure();
    }
    // Names in byte order, the same in both databases whatever their collation.
    std::map<std::string, Counts> stations;
    std::map<std::string, Counts> slots;
    const auto into = [](std::map<std::string, Counts>& table) {
        return [&table](const SqlRow& row) {
            Counts& counts = table[row.at(0).value_or("")];
            counts.passes += Whole(row.at(1));
            counts.fails += Whole(row.at(2));
            return true;
        };
    };
    read = db.Query(
        "SELECT station, sum(passes), sum(fails) FROM station_bins"
        " WHERE bin >= $1 AND bin <= $2 GROUP BY station",
        {first, last}, into(stations));
    if (read && !station.empty()) {
        read = db.Query(
            "SELECT slot, sum(passes), sum(fails) FROM slot_bins"
            " WHERE station = $3 AND bin >= $1 AND bin <= $2 GROUP BY slot",
            {first, last, station}, into(slots));
    }
    if (!read) {
        return read.Failure();
    }
    Json binsJson = Json::array();
    for (const Counts& bin : bins) {
        const std::int64_t boxes = bin.passes + bin.fails;
        binsJson.push_back(Json::array(
            {bin.passes, bin.fails,
             boxes > 0 ? JsonNumber(std::round(bin.seconds / static_cast<double>(boxes) * 10) / 10)
                       : Json(nullptr)}));
    }
    const auto table = [](const std::map<std::string, Counts>& rows) {
        Json json = Json::array();
        for (const auto& [name, counts] : rows) {
            if (counts.passes + counts.fails > 0) {
                json.push_back(Json::array({JsonText(name), counts.passes, counts.fails}));
            }
        }
        return json;
    };
    return Json{{"bin_ms", kRecordBinMs},
                {"from", first * kRecordBinMs},
                {"bins", std::move(binsJson)},
                {"stations", table(stations)},
                {"slots", table(slots)}};
}

Result<std::vector<RecordStore::Placed>> RecordStore::LastFailures(int most) {
    Result<std::vector<SqlRow>> rows = m_connection->Rows(
        "SELECT station, slot, record FROM records WHERE result <> 'pass'"
        " ORDER BY start_ms DESC LIMIT $1",
        {std::int64_t{most}});
    if (!rows) {
        return rows.Failure();
    }
    std::vector<Placed> found;
    for (const SqlRow& row : *rows) {
        found.push_back({row.at(0).value_or(""), row.at(1).value_or(""), row.at(2).value_or("")});
    }
    return found;
}

Result<std::vector<std::string>> RecordStore::LatestIds(int most) {
    std::vector<std::string> ids;
    Result<void> read =
        m_connection->Query("SELECT id FROM records ORDER BY start_ms DESC LIMIT $1",
                            {std::int64_t{most}}, [&](const SqlRow& row) {
                                ids.push_back(row.at(0).value_or(""));
                                return true;
                            });
    if (!read) {
        return read.Failure();
    }
    return ids;
}

Result<std::int64_t> RecordStore::DeleteBefore(std::int64_t beforeMs, int most) {
    const std::int64_t bin = RecordBinOf(beforeMs);
    SqlConnection& db = *m_connection;
    if (Result<void> begun = db.BeginWrite(); !begun) {
        return begun.Failure();
    }
    Result<std::int64_t> deleted = db.Run(
        "DELETE FROM records WHERE id IN"
        " (SELECT id FROM records WHERE start_ms < $1 ORDER BY start_ms LIMIT $2)",
        {bin * kRecordBinMs, std::int64_t{most}});
    // The counts go with the last of their records.
    if (deleted && *deleted < most) {
        for (const char* sql :
             {"DELETE FROM station_bins WHERE bin < $1", "DELETE FROM slot_bins WHERE bin < $1"}) {
            if (Result<std::int64_t> done = db.Run(sql, {bin}); !done) {
                deleted = done.Failure();
                break;
            }
        }
    }
    if (!deleted) {
        (void)db.Rollback();
        return deleted;
    }
    if (Result<void> committed = db.Commit(); !committed) {
        return committed.Failure();
    }
    return deleted;
}

Result<std::int64_t> RecordStore::Count() {
    Result<std::vector<SqlRow>> rows = m_connection->Rows("SELECT count(*) FROM records");
    if (!rows) {
        return rows.Failure();
    }
    return Whole(rows->at(0).at(0));
}
