// The board's history: each record counted once, within its bounds of count and age, plotted per
// 15 minutes for the line, a station or a slot; and its table of record ids against a plain set.

#include "board/HistoryStore.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace {

std::int64_t At(const std::string& iso) {
    return MillisOfIsoTime(iso).value_or(-1);
}

HistoryResult Box(const std::string& id, const std::string& station, const std::string& slot,
                  BoxResult result, const std::string& end, double seconds) {
    HistoryResult box;
    box.id = id;
    box.station = station;
    box.slot = slot;
    box.result = result;
    box.endMs = At(end);
    box.seconds = seconds;
    box.reason = result == BoxResult::Pass ? "" : "port lost at 30 %";
    return box;
}

TEST(HistoryStoreTest, CountsEachRecordOnceWithinItsBoundsPer15Minutes) {
    constexpr std::int64_t kHour = 3600'000;
    HistoryStore store({3, kHour});
    const std::int64_t now = At("2026-03-02T10:30:00.000Z");
    using Added = HistoryStore::Added;
    EXPECT_EQ(store.Add(Box("r1", "A", "1", BoxResult::Pass, "2026-03-02T10:00:00.000Z", 10), now),
              Added::Kept);
    EXPECT_EQ(store.Add(Box("r1", "A", "1", BoxResult::Pass, "2026-03-02T10:00:00.000Z", 10), now),
              Added::Repeat);
    EXPECT_EQ(store.Add(Box("r2", "A", "2", BoxResult::Fail, "2026-03-02T10:14:59.999Z", 30), now),
              Added::Kept);
    EXPECT_EQ(store.Add(Box("r3", "B", "1", BoxResult::Pass, "2026-03-02T10:15:00.000Z", 20), now),
              Added::Kept);
    // An aborted box is kept, but is neither a pass nor a fail.
    EXPECT_EQ(
        store.Add(Box("r4", "B", "1", BoxResult::Aborted, "2026-03-02T10:16:00.000Z", 5), now),
        Added::Kept);
    EXPECT_EQ(store.Size(), 3u) << "the oldest left for the fourth";

    const Json line = store.Plot(At("2026-03-02T10:00:00.000Z"), now, "", "");
    EXPECT_EQ(line["from"], At("2026-03-02T10:00:00.000Z"));
    EXPECT_EQ(JsonLine(line["bins"]), R"([[0,1,30],[1,0,20],[0,0,null]])") << line;
    EXPECT_EQ(JsonLine(line["stations"]), R"([["A",0,1],["B",1,0]])");
    EXPECT_EQ(JsonLine(line["slots"]), "[]");
    const Json stationA = store.Plot(At("2026-03-02T10:00:00.000Z"), now, "A", "");
    EXPECT_EQ(JsonLine(stationA["bins"]), R"([[0,1,30],[0,0,null],[0,0,null]])");
    EXPECT_EQ(JsonLine(stationA["slots"]), R"([["2",0,1]])");
    EXPECT_EQ(JsonLine(store.Plot(At("2026-03-02T10:00:00.000Z"), now, "B", "9")["bins"]),
              R"([[0,0,null],[0,0,null],[0,0,null]])");

    // r1 has left with its id: heard again, it is new to the history.
    EXPECT_EQ(store.Add(Box("r1", "A", "1", BoxResult::Pass, "2026-03-02T10:00:00.000Z", 10), now),
              Added::Kept);
    EXPECT_EQ(store.Add(Box("r5", "A", "1", BoxResult::Pass, "2026-03-02T09:29:59.999Z", 1), now),
              Added::Outside)
        << "older than the age bound";
    ASSERT_EQ(store.Failures().size(), 2u);
    EXPECT_EQ(store.Failures().front().id, "r2");
    EXPECT_EQ(store.Failures().back().id, "r4");

    store.Expire(now + kHour);
    EXPECT_EQ(store.Size(), 0u);
    EXPECT_TRUE(store.Failures().empty());
    EXPECT_EQ(JsonLine(store.Plot(now - kHour, now, "", "")["stations"]), "[]");
}

TEST(HistoryStoreTest, TheIdTableAgreesWithASetThroughInsertsAndErases) {
    // Few distinct keys whose low bits collide often, so that probes wrap and erases shift.
    RecordKeySet table;
    std::set<std::uint64_t> model;
    std::mt19937_64 random(7);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t key = (random() % 3000) * 64 + 1;
        if (random() % 3 == 0) {
            table.Erase(key);
            model.erase(key);
        } else {
            EXPECT_EQ(table.Insert(key), model.insert(key).second);
        }
        if (i % 997 == 0) {
            const std::uint64_t probe = (random() % 3000) * 64 + 1;
            ASSERT_EQ(table.Contains(probe), model.count(probe) > 0) << "at step " << i;
        }
    }
    EXPECT_EQ(table.Size(), model.size());
    for (const std::uint64_t key : model) {
        ASSERT_TRUE(table.Contains(key));
    }
}

}  // namespace
