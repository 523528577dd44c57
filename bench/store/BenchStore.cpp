// The records' database, measured:
//   bench_store ingest [N=20000]
//       N records through the writer (the spool, then batches of one transaction each), as a
//       station or the board hands them over, into SQLite and into a real PostgreSQL that
//       flushes to disk: records a second, and the hand-over's own time per record.
//   bench_store find [N=10000000] [sqlite|postgres]
//       N records (two per box) filled in bulk, in one transaction, by the database itself (not
//       through the ingest path); then the time to find a box: the query alone, and the whole
//       `stavel --find` program; and the database's size on disk.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "record/BoxRecordCodec.h"
#include "store/RecordWriter.h"
#include "store/SqliteConnection.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/postgres/PostgresServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Line(long i) {
    BoxRecord r;
    char id[64];
    std::snprintf(id, sizeof id, "%08lx-5b7d-4e8a-9c01-%012ld", i, i);
    r.id = id;
    r.slot = "S" + std::to_string(i % 16);
    r.device = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0";
    r.result = i % 20 == 7 ? BoxResult::Fail : BoxResult::Pass;
    r.reason = i % 20 == 7 ? "box silent for 120 s" : "";
    r.reasonCode = i % 20 == 7 ? "box-silent" : "passed";
    r.start = std::chrono::system_clock::now() - std::chrono::hours(1);
    r.end = r.start + std::chrono::milliseconds(41500);
    r.seconds = 41.5;
    r.bytes = 8388608;
    r.requests = 2048;
    r.coverage = r.coverageSent = 1;
    r.image = "/srv/line3/fw-2.4.sdl";
    r.imageSize = 8388608;
    r.imageSha256 = std::string(64, 'a');
    r.made = {"1.0.0.1", "line3-pc1", "line-" + std::to_string(i % 50), std::string("Ann"),
              std::string("line3-fw-2.4")};
    r.boxId = "SN" + std::to_string(i / 2);
    return BoxRecordLine(r);
}

void Ingest(const std::string& name, const std::string& url, long count) {
    TempDir dir;
    std::mutex mutex;
    std::condition_variable done;
    std::size_t written = 0;
    RecordWriter::Config config;
    config.shown = name;
    config.open = [url] { return RecordStore::Open(*ParseStoreUrl(url)); };
    config.spool = std::move(*ResultSpool::Open(dir.File("boxes.jsonl.db-spool")));
    config.say = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    config.written = [&](std::size_t n) {
        std::lock_guard lock(mutex);
        written += n;
        done.notify_all();
    };
    std::vector<std::string> lines;
    for (long i = 0; i < count; ++i) {
        lines.push_back(Line(i));
    }
    RecordWriter writer(std::move(config));
    writer.Start();
    const auto began = Clock::now();
    for (const std::string& line : lines) {
        writer.Add(line);
    }
    const auto handed = Clock::now();
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return written >= static_cast<std::size_t>(count); });
    }
    const auto end = Clock::now();
    writer.End();
    std::printf("%-10s ingest: %ld records in %.2f s: %.0f records/s (handing one over: %.0f us)\n",
                name.c_str(), count, Ms(end - began) / 1000, count / (Ms(end - began) / 1000),
                Ms(handed - began) * 1000 / count);
}

int BenchIngest(long count) {
    TempDir dir;
    Ingest("SQLite", "sqlite:" + dir.File("boxes.db"), count);
    PostgresServer server(true);
    if (!server.Start()) {
        std::printf("PostgreSQL: not measured: %s\n", server.Log().c_str());
        return 0;
    }
    Ingest("PostgreSQL", server.NewDatabase(), count);
    return 0;
}

// The records, made by the database itself in one statement and one transaction.
std::string FillSql(SqlDialect dialect, long count, long long startMs) {
    const bool lite = dialect == SqlDialect::Sqlite;
    const std::string n = std::to_string(count);
    const std::string id =
        lite ? "printf('%08x-5b7d-4e8a-9c01-%012d', i, i)"
             : "lpad(to_hex(i), 8, '0') || '-5b7d-4e8a-9c01-' || lpad(i::text, 12, '0')";
    const std::string text = lite ? "CAST(i AS TEXT)" : "i::text";
    const std::string start = std::to_string(startMs) + " + i * 60";
    const std::string record =
        "'{\"id\":\"' || " + id + " || '\",\"slot\":\"S' || " + text +
        " || '\",\"device\":\"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2.1:1.0-port0\","
        "\"adapter\":\"0403:6001 A50285BI\",\"result\":\"pass\",\"reason\":\"\","
        "\"start\":\"2026-12-07T02:31:07.120Z\",\"end\":\"2026-12-07T02:31:48.620Z\","
        "\"seconds\":41.5,\"bytes\":8388608,\"requests\":2048,\"coverage\":1,"
        "\"coverage_sent\":1,\"image\":\"/srv/line3/fw-2.4.sdl\",\"image_size\":8388608,"
        "\"image_sha256\":\"9f5e0c6d1b8a47e2c3d4f5a6b7c8d9e0f1a2b3c4d5e6f708192a3b4c5d6e7f80\","
        "\"log_complete\":true,\"schema\":1,\"tool_version\":\"1.0.0.1\",\"host\":\"line3-pc1\","
        "\"station\":\"L3-S1\",\"operator\":\"Ann\",\"job\":\"line3-fw-2.4\",\"box_id\":\"SN' || " +
        (lite ? "CAST(i / 2 AS TEXT)" : "(i / 2)::text") +
        " || "
        "'\",\"repeat_of\":null,\"by_path\":null,\"by_id\":null,\"adapter_serial\":\"A50285BI\","
        "\"reason_code\":\"passed\",\"log_file\":\"/srv/line3/logs/A1.log\"}'";
    const std::string columns =
        "INSERT INTO records (id, box_id, station, slot, job, image_sha256, result, reason_code,"
        " start_ms, end_ms, seconds, operator, attempt, record) SELECT " +
        id + ", 'SN' || " + (lite ? "CAST(i / 2 AS TEXT)" : "(i / 2)::text") + ", 'line-' || " +
        (lite ? "CAST(i % 50 AS TEXT)" : "(i % 50)::text") + ", 'S' || " +
        (lite ? "CAST((i / 50) % 16 AS TEXT)" : "((i / 50) % 16)::text") +
        ", 'line3-fw-2.4', '9f5e0c6d', CASE WHEN i % 20 = 7 THEN 'fail' ELSE 'pass' END,"
        " CASE WHEN i % 20 = 7 THEN 'box-silent' ELSE 'passed' END, " +
        start + ", " + start + " + 41500, 41.5, 'Ann', 1, " + record;
    return lite ? "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < " + n +
                      " - 1) " + columns + " FROM n"
                : columns + " FROM generate_series(0::bigint, " + n + " - 1) AS i";
}

int BenchFind(long count, const std::string& kind) {
    TempDir dir;
    std::unique_ptr<PostgresServer> server;
    std::string url = "sqlite:" + dir.File("boxes.db");
    if (kind == "postgres") {
        server = std::make_unique<PostgresServer>(true);
        if (!server->Start()) {
            std::printf("PostgreSQL: not measured: %s\n", server->Log().c_str());
            return 1;
        }
        url = server->NewDatabase();
    }
    auto store = RecordStore::Open(*ParseStoreUrl(url));
    if (!store) {
        std::fprintf(stderr, "%s\n", store.Failure().Describe().c_str());
        return 1;
    }
    SqlConnection& db = (*store)->Connection();
    if (db.Dialect() == SqlDialect::Sqlite) {
        (void)db.Run("PRAGMA cache_size = -1000000");  // the fill's, not the program's
    }
    const auto began = Clock::now();
    const long long startMs = 1790000000000LL;
    if (!db.BeginWrite() || !db.Run(FillSql(db.Dialect(), count, startMs)) || !db.Commit()) {
        std::fprintf(stderr, "the fill failed\n");
        return 1;
    }
    // As the writer's small transactions leave it: the log checkpointed into the file (one
    // transaction of millions could not be checkpointed as it went).
    (void)db.Run(db.Dialect() == SqlDialect::Postgres ? "VACUUM ANALYZE records"
                                                      : "PRAGMA wal_checkpoint(TRUNCATE)");
    std::printf("%s: %ld records filled in bulk in %.0f s\n", kind.c_str(), count,
                Ms(Clock::now() - began) / 1000);
    std::mt19937 random(7);
    std::vector<double> query;
    for (int k = 0; k < 200; ++k) {
        const std::string box = "SN" + std::to_string(random() % (count / 2));
        const auto at = Clock::now();
        int found = 0;
        (void)(*store)->FindBox(box, [&](const RecordStore::Placed&) { return ++found > 0; });
        query.push_back(Ms(Clock::now() - at));
    }
    std::sort(query.begin(), query.end());
    std::printf("find, the query alone (200 boxes): median %.2f ms, max %.2f ms\n",
                query[query.size() / 2], query.back());
    store->reset();
    // Each box twice: first with its pages wherever the system's cache has them (usually on the
    // disk, for a box nobody asked for lately), then again at once.
    std::vector<double> cold;
    std::vector<double> warm;
    const std::string stavel = std::string(STAVEL_BINARY_DIR) + "/bin/stavel";
    std::fflush(stdout);  // not copied into the children
    const auto run = [&](const std::string& box) {
        const auto at = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            freopen("/dev/null", "w", stdout);
            execl(stavel.c_str(), "stavel", "--find", box.c_str(), "--db", url.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return Ms(Clock::now() - at);
    };
    for (int k = 0; k < 20; ++k) {
        const std::string box = "SN" + std::to_string(random() % (count / 2));
        cold.push_back(run(box));
        warm.push_back(run(box));
    }
    std::sort(cold.begin(), cold.end());
    std::sort(warm.begin(), warm.end());
    std::printf(
        "stavel --find, the whole program (20 boxes): median %.1f ms, max %.1f ms; the "
        "same box again: median %.1f ms, max %.1f ms\n",
        cold[cold.size() / 2], cold.back(), warm[warm.size() / 2], warm.back());
    std::fflush(stdout);
    const auto version = Clock::now();
    for (int k = 0; k < 20; ++k) {
        const pid_t child = fork();
        if (child == 0) {
            freopen("/dev/null", "w", stdout);
            execl(stavel.c_str(), "stavel", "--version", static_cast<char*>(nullptr));
            _exit(127);
        }
        waitpid(child, nullptr, 0);
    }
    std::printf("(stavel --version alone: %.1f ms a run)\n", Ms(Clock::now() - version) / 20);
    if (kind == "postgres") {
        auto again = RecordStore::Open(*ParseStoreUrl(url));
        auto rows = (*again)->Connection().Rows("SELECT pg_database_size(current_database())");
        std::printf("database on disk: %.0f MB\n",
                    rows ? std::stod(rows->at(0).at(0).value_or("0")) / (1 << 20) : -1.0);
    } else {
        std::uintmax_t bytes = 0;
        for (const char* part : {"", "-wal"}) {
            std::error_code ignored;
            const std::uintmax_t size =
                std::filesystem::file_size(dir.File("boxes.db") + part, ignored);
            bytes += ignored ? 0 : size;
        }
        std::printf("database on disk: %.0f MB\n", static_cast<double>(bytes) / (1 << 20));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "ingest") {
        return BenchIngest(argc > 2 ? std::atol(argv[2]) : 20000);
    }
    if (what == "find") {
        return BenchFind(argc > 2 ? std::atol(argv[2]) : 10000000, argc > 3 ? argv[3] : "sqlite");
    }
    std::fprintf(stderr, "usage: bench_store ingest [N] | find [N] [sqlite|postgres]\n");
    return 2;
}
