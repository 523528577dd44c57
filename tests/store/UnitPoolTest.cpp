// The unit pool against SQLite and a throwaway PostgreSQL: a value's life from free to used,
// spoiled or free again, a crash between lease and verdict, and two connections drawing at once
// without a value given twice.

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "store/UnitPool.h"
#include "tests/store/StoreFixture.h"

namespace {

using Pool = std::unique_ptr<UnitPool>;

Pool OpenPool(const std::string& url) {
    auto opened = UnitPool::Open(*ParseStoreUrl(url));
    EXPECT_TRUE(opened) << (opened ? "" : opened.Failure().Describe());
    return opened ? std::move(*opened) : nullptr;
}

std::vector<UnitPool::Source> Sources(int macs) {
    UnitPool::Source serial{"serial", true, 1000, 1, {}};
    UnitPool::Source mac{"mac", false, 0, 1, {}};
    for (int i = 0; i < macs; ++i) {
        mac.values.push_back("aa:bb:cc:dd:" + std::to_string(10 + i / 90) + ":" +
                             std::to_string(10 + i % 90));
    }
    return {serial, mac};
}

std::vector<std::string> Drawn(UnitPool& pool, const std::vector<UnitPool::Source>& sources,
                               const std::string& station, const std::string& slot,
                               std::string* lease = nullptr) {
    auto drawn = pool.Draw(sources, station, slot);
    EXPECT_TRUE(drawn) << (drawn ? "" : drawn.Failure().Describe());
    if (!drawn || !drawn->lease) {
        return {};
    }
    if (lease != nullptr) {
        *lease = drawn->lease->id;
    }
    return drawn->lease->values;
}

TEST_P(StoreTest, AUnitValueIsFreeLeasedThenUsedSpoiledOrFreeAgainAndAStaleLeaseIsSpoiled) {
    const std::string url = NewUrl();
    Pool pool = OpenPool(url);
    ASSERT_TRUE(pool);
    const auto sources = Sources(4);
    ASSERT_TRUE(pool->Fill(sources));
    ASSERT_TRUE(pool->Fill(sources)) << "a second fill changes nothing";

    std::string lease;
    EXPECT_EQ(Drawn(*pool, sources, "L3", "A1", &lease),
              (std::vector<std::string>{"1000", "aa:bb:cc:dd:10:10"}));
    ASSERT_TRUE(pool->Settle(lease, UnitPool::Verdict::Used, "rec-1"));
    // None of its bytes reached the port: the values are given again, to the next box.
    EXPECT_EQ(Drawn(*pool, sources, "L3", "A1", &lease),
              (std::vector<std::string>{"1001", "aa:bb:cc:dd:10:11"}));
    ASSERT_TRUE(pool->Settle(lease, UnitPool::Verdict::Free, ""));
    EXPECT_EQ(Drawn(*pool, sources, "L3", "A2", &lease),
              (std::vector<std::string>{"1001", "aa:bb:cc:dd:10:11"}));
    // Some reached the port and the box failed: never again.
    ASSERT_TRUE(pool->Settle(lease, UnitPool::Verdict::Spoiled, "rec-2"));
    ASSERT_TRUE(pool->Settle(lease, UnitPool::Verdict::Free, "")) << "a settled lease stays";
    EXPECT_EQ(Drawn(*pool, sources, "L3", "A1"),
              (std::vector<std::string>{"1002", "aa:bb:cc:dd:10:12"}));
    // The process dies between lease and verdict; another station holds a lease and runs.
    EXPECT_EQ(Drawn(*pool, sources, "L4", "A1", &lease),
              (std::vector<std::string>{"1003", "aa:bb:cc:dd:10:13"}));
    pool.reset();

    Pool again = OpenPool(url);
    ASSERT_TRUE(again);
    ASSERT_TRUE(again->Fill(sources));
    const Result<std::int64_t> stale = again->SpoilStale("L3", {"A1", "A2"});
    ASSERT_TRUE(stale);
    EXPECT_EQ(*stale, 1);
    const Result<std::int64_t> none = again->SpoilStale("L3", {"A1", "A2"});
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, 0);
    // The list is spent: nothing is leased, the counter keeps its next value.
    auto empty = again->Draw(sources, "L3", "A1");
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty->lease);
    EXPECT_EQ(empty->emptySource, "mac");
    auto counts = again->Counts(sources);
    ASSERT_TRUE(counts);
    ASSERT_EQ(counts->size(), 2u);
    EXPECT_EQ((*counts)[0].next, "1004");
    EXPECT_EQ((*counts)[1].free, 0);
    EXPECT_EQ((*counts)[1].used, 1);
    EXPECT_EQ((*counts)[1].spoiled, 2);
    EXPECT_EQ((*counts)[1].leased, 1) << "the other station's lease is its own";
    // The other station's box passes after all.
    ASSERT_TRUE(again->Settle(lease, UnitPool::Verdict::Used, "rec-3"));

    // A list that grows: its new values are free, the old ones keep their state.
    ASSERT_TRUE(again->Fill(Sources(6)));
    EXPECT_EQ(Drawn(*again, Sources(6), "L3", "A1"),
              (std::vector<std::string>{"1004", "aa:bb:cc:dd:10:14"}));
    EXPECT_EQ((*again->Counts(Sources(6)))[1].free, 1);
}

TEST_P(StoreTest, TwoConnectionsDrawingAtOnceNeverGetOneValueTwice) {
    const std::string url = NewUrl();
    const auto sources = Sources(200);
    {
        Pool pool = OpenPool(url);
        ASSERT_TRUE(pool);
        ASSERT_TRUE(pool->Fill(sources));
    }
    std::vector<std::vector<std::string>> got(2);
    std::vector<std::thread> stations;
    for (int s = 0; s < 2; ++s) {
        stations.emplace_back([&, s] {
            Pool pool = OpenPool(url);
            if (!pool) {
                return;
            }
            const std::string station = "L" + std::to_string(s);
            for (;;) {
                auto drawn = pool->Draw(sources, station, "A1");
                if (!drawn || !drawn->lease) {
                    return;
                }
                got[s].insert(got[s].end(), drawn->lease->values.begin(),
                              drawn->lease->values.end());
            }
        });
    }
    for (std::thread& t : stations) {
        t.join();
    }
    std::set<std::string> distinct;
    for (const auto& values : got) {
        distinct.insert(values.begin(), values.end());
    }
    EXPECT_EQ(got[0].size() + got[1].size(), 400u) << "every MAC drawn, each with a serial";
    EXPECT_EQ(distinct.size(), 400u) << "no value twice";
    // How the draws fall between the two is the scheduler's: one may take them all.
}

TEST_P(StoreTest, APoolOfANewerSchemaIsRefusedNamingBoth) {
    const std::string url = NewUrl();
    ASSERT_TRUE(OpenPool(url));
    std::unique_ptr<SqlConnection> db = Connect(url);
    ASSERT_TRUE(db->Run("UPDATE unit_pool_schema SET version = 9"));
    auto refused = UnitPool::On(std::move(db));
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Failure().Describe().find("version 9, newer than this stavel's (1)"),
              std::string::npos)
        << refused.Failure().Describe();
}

}  // namespace
