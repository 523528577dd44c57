// The unit pool, measured:
//   bench_unit_pool [N=2000]
//       N boxes, each a lease of one value from a counter and one from a list (one transaction)
//       and its commit as used; the time of each, p50 and p99, into a SQLite file and into a
//       real PostgreSQL that flushes to disk, as a factory's would.

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/stats/Percentile.h"
#include "store/UnitPool.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/postgres/PostgresServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Measure(const std::string& name, const std::string& url, int boxes) {
    auto opened = UnitPool::Open(*ParseStoreUrl(url));
    if (!opened) {
        std::printf("%s: %s\n", name.c_str(), opened.Failure().Describe().c_str());
        return;
    }
    UnitPool& pool = **opened;
    UnitPool::Source serial{"serial", true, 1000, 1, {}};
    UnitPool::Source mac{"mac", false, 0, 1, {}};
    for (int i = 0; i < boxes; ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "02:00:00:%02x:%02x:%02x", (i >> 16) & 0xFF,
                      (i >> 8) & 0xFF, i & 0xFF);
        mac.values.emplace_back(text);
    }
    const std::vector<UnitPool::Source> sources{serial, mac};
    if (Result<void> filled = pool.Fill(sources); !filled) {
        std::printf("%s: %s\n", name.c_str(), filled.Failure().Describe().c_str());
        return;
    }
    std::vector<double> leases, commits;
    for (int i = 0; i < boxes; ++i) {
        const Clock::time_point t0 = Clock::now();
        auto drawn = pool.Draw(sources, "bench", "A1");
        const Clock::time_point t1 = Clock::now();
        if (!drawn || !drawn->lease) {
            std::printf("%s: no lease at box %d\n", name.c_str(), i);
            return;
        }
        (void)pool.Settle(drawn->lease->id, UnitPool::Verdict::Used, "record-" + std::to_string(i));
        const Clock::time_point t2 = Clock::now();
        leases.push_back(Ms(t1 - t0));
        commits.push_back(Ms(t2 - t1));
    }
    std::printf("%-34s lease p50 %6.2f ms  p99 %6.2f ms   commit p50 %6.2f ms  p99 %6.2f ms\n",
                name.c_str(), Percentile(leases, 0.5), Percentile(leases, 0.99),
                Percentile(commits, 0.5), Percentile(commits, 0.99));
}

}  // namespace

int main(int argc, char** argv) {
    const int boxes = argc > 1 ? std::stoi(argv[1]) : 2000;
    TempDir dir;
    Measure("SQLite (WAL, synchronous=NORMAL)", "sqlite:" + dir.File("units.db"), boxes);
    if (const std::string missing = PostgresServer::Missing(); !missing.empty()) {
        std::printf("PostgreSQL: skipped, %s\n", missing.c_str());
        return 0;
    }
    PostgresServer server(true);
    if (!server.Start()) {
        std::printf("PostgreSQL: did not start: %s\n", server.Log().c_str());
        return 0;
    }
    Measure("PostgreSQL (flushing to disk)", server.NewDatabase(), boxes);
    return 0;
}
