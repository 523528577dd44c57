// The records' database, the same cases on SQLite and on a real PostgreSQL: its schema made,
// migrated and refused when newer; each record kept once by its id whoever writes it; a box
// found oldest first whatever its id holds; exports by time, place and verdict; the failures'
// Pareto; the board's plots from the counts; and the age bound.

#include <gtest/gtest.h>

#include "store/EarlierPasses.h"
#include "tests/store/StoreFixture.h"

namespace {

std::vector<std::string> Found(RecordStore& store, const std::string& boxId) {
    std::vector<std::string> ids;
    Result<void> read = store.FindBox(boxId, [&](const RecordStore::Placed& found) {
        ids.push_back(ParseJsonObject(found.json).value_or(Json::object()).value("id", "?"));
        return true;
    });
    EXPECT_TRUE(read) << (read ? "" : read.Failure().Describe());
    return ids;
}

std::vector<std::string> Exported(RecordStore& store, const RecordStore::Filter& filter) {
    std::vector<std::string> ids;
    Result<void> read = store.Export(filter, [&](const std::string& line) {
        ids.push_back(ParseJsonObject(line).value_or(Json::object()).value("id", "?"));
        return true;
    });
    EXPECT_TRUE(read) << (read ? "" : read.Failure().Describe());
    return ids;
}

TEST_P(StoreTest, TheSchemaIsMadeAnOlderOneMigratedAndANewerOneRefusedNamingBoth) {
    const std::string url = NewUrl();
    std::vector<std::string> said;
    const auto say = [&](const std::string& line) { said.push_back(line); };
    {
        // A database of the first schema, holding a record and an aborted box.
        auto old = RecordStore::On(Connect(url), say, 1);
        ASSERT_TRUE(old) << old.Failure().Describe();
        EXPECT_EQ((*old)->Schema(), 1);
        for (const BoxRecord& box :
             {Box("r1", "L3", "A1", BoxResult::Pass, "2026-03-02T10:01:00.000Z", 12),
              Box("r2", "L3", "A1", BoxResult::Aborted, "2026-03-02T10:02:00.000Z", 3)}) {
            const StoredRecord r = Stored(box);
            ASSERT_TRUE((*old)->Connection().Run(
                "INSERT INTO records (id, box_id, station, slot, job, image_sha256, result,"
                " reason_code, start_ms, end_ms, seconds, operator, attempt, record) VALUES"
                " ($1, NULL, $2, $3, NULL, NULL, $4, NULL, $5, $6, $7, NULL, 1, $8)",
                {r.id, r.station, r.slot, r.result, r.startMs, r.endMs, r.seconds, r.json}));
        }
    }
    EXPECT_TRUE(said.empty()) << "a new database is made without a word";
    std::unique_ptr<RecordStore> store = Open(url, say);
    ASSERT_TRUE(store);
    EXPECT_EQ(store->Schema(), RecordStore::kSchema);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("the schema was version 1; migrated to version 2"), std::string::npos)
        << said[0];
    // The counts were made from the records already there: one pass of 12 s.
    Result<Json> plot =
        store->Plot(Ms("2026-03-02T10:00:00.000Z"), Ms("2026-03-02T10:14:00.000Z"), "", "");
    ASSERT_TRUE(plot) << plot.Failure().Describe();
    EXPECT_EQ(JsonLine((*plot)["bins"]), "[[1,0,12]]");
    // Opened again, nothing more to say.
    store = Open(url, say);
    EXPECT_EQ(said.size(), 1u);

    ASSERT_TRUE(store->Connection().Run("UPDATE stavel_schema SET version = 3"));
    store.reset();
    auto newer = RecordStore::Open(*ParseStoreUrl(url), say);
    ASSERT_FALSE(newer);
    EXPECT_NE(newer.Failure().Describe().find(
                  "the database's schema is version 3, newer than this stavel's (2)"),
              std::string::npos)
        << newer.Failure().Describe();

    if (GetParam() == Backend::Sqlite) {
        const std::string text = m_dir.File("boxes.jsonl");
        WriteBytes(text, std::string(4096, 'x'));
        auto notOne = RecordStore::Open(*ParseStoreUrl("sqlite:" + text));
        ASSERT_FALSE(notOne);
        EXPECT_EQ(notOne.Failure().Describe(), "sqlite:" + text + ": file is not a database");
        EXPECT_EQ(notOne.Failure().result.status, SysStatus::Failed) << "not one to wait for";
    }
}

TEST_P(StoreTest, EachRecordIsKeptOnceByItsIdWhoeverWritesIt) {
    const std::string url = NewUrl();
    std::unique_ptr<RecordStore> station = Open(url);
    std::unique_ptr<RecordStore> board = Open(url);
    ASSERT_TRUE(station && board);
    const StoredRecord a =
        Stored(Box("a", "L3", "A1", BoxResult::Pass, "2026-03-02T10:01:00.000Z", 10));
    const StoredRecord b =
        Stored(Box("b", "L3", "A2", BoxResult::Fail, "2026-03-02T10:02:00.000Z", 20, "port-lost"));
    // An id that is SQL: a parameter, never text of a statement.
    const StoredRecord c = Stored(Box("c'); DROP TABLE records; --", "L3", "A1", BoxResult::Pass,
                                      "2026-03-02T10:03:00.000Z", 30));
    Result<int> put = station->Put({a, b});
    ASSERT_TRUE(put) << put.Failure().Describe();
    EXPECT_EQ(*put, 2);
    put = board->Put({b, c, c});
    ASSERT_TRUE(put) << put.Failure().Describe();
    EXPECT_EQ(*put, 1) << "b was there; c twice in one batch is one record";
    put = station->Put({a});
    EXPECT_EQ(*put, 0);
    EXPECT_EQ(*station->Count(), 3);
    // Counted once each in the board's plot: two passes (40 s) and a fail (20 s).
    Result<Json> plot =
        board->Plot(Ms("2026-03-02T10:00:00.000Z"), Ms("2026-03-02T10:10:00.000Z"), "", "");
    ASSERT_TRUE(plot);
    EXPECT_EQ(JsonLine((*plot)["bins"]), "[[2,1,20]]");
    EXPECT_EQ(JsonLine((*plot)["stations"]), R"([["L3",2,1]])");
    // The whole record is kept as it was written.
    std::vector<std::string> lines;
    ASSERT_TRUE(board->Export({0, Ms("2027-01-01T00:00:00.000Z"), {}, {}, {}},
                              [&](const std::string& line) {
                                  lines.push_back(line);
                                  return true;
                              }));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], c.json);
}

TEST_P(StoreTest, ABoxIsFoundOldestFirstAndRecordsExportByTimePlaceAndVerdict) {
    const std::string url = NewUrl();
    std::unique_ptr<RecordStore> store = Open(url);
    ASSERT_TRUE(store);
    ASSERT_TRUE(store->Put({
        Stored(Box("second", "L3", "A2", BoxResult::Pass, "2026-03-02T11:00:00.000Z", 9, "",
                   "SN4711")),
        Stored(Box("first", "L3", "A1", BoxResult::Fail, "2026-03-02T10:00:00.000Z", 4, "port-lost",
                   "SN4711")),
        Stored(Box("other", "L4", "A1", BoxResult::Fail, "2026-03-02T10:30:00.000Z", 4,
                   "box-silent", "SN4711x")),
        Stored(Box("hostile", "L4", "A2", BoxResult::Pass, "2026-03-02T10:40:00.000Z", 4, "",
                   "' OR '1'='1")),
    }));
    EXPECT_EQ(Found(*store, "SN4711"), (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(Found(*store, "SN47%").empty()) << "no pattern: the id as it is";
    EXPECT_TRUE(Found(*store, "SN4711' OR '1'='1").empty());
    EXPECT_EQ(Found(*store, "' OR '1'='1"), (std::vector<std::string>{"hostile"}));
    // A station that blocks repeats finds a box's first pass under its own job.
    EarlierPasses passes(*ParseStoreUrl(url), "line3");
    std::vector<std::string> said;
    const auto say = [&said](const std::string& text) { said.push_back(text); };
    const std::optional<PassedBoxes::Earlier> earlier = passes.Find("SN4711", say);
    ASSERT_TRUE(earlier);
    EXPECT_EQ(earlier->recordId, "second");
    EXPECT_EQ(earlier->slot, "A2");
    EXPECT_FALSE(passes.Find("SN4711x", say)) << "it failed; it never passed";
    EXPECT_FALSE(EarlierPasses(*ParseStoreUrl(url), "line4").Find("SN4711", say))
        << "another job's pass is no repeat";
    if (GetParam() == Backend::Sqlite) {
        EarlierPasses gone(*ParseStoreUrl("sqlite:" + m_dir.File("no/such/folder/db")), "line3");
        EXPECT_FALSE(gone.Find("SN4711", say));
        EXPECT_FALSE(gone.Find("SN4711", say));
        ASSERT_EQ(said.size(), 1u) << "said once";
        EXPECT_TRUE(said[0].starts_with("the database cannot be asked for earlier passes: "))
            << said[0];
    }
    EXPECT_TRUE(GetParam() == Backend::Sqlite || said.empty());

    using Filter = RecordStore::Filter;
    const std::int64_t from = Ms("2026-03-02T10:00:00.000Z");
    const std::int64_t to = Ms("2026-03-02T11:00:00.000Z");
    EXPECT_EQ(Exported(*store, Filter{from, to, {}, {}, {}}),
              (std::vector<std::string>{"first", "other", "hostile"}))
        << "from inclusive, to exclusive, by start";
    EXPECT_EQ(Exported(*store, Filter{from, to + 1, std::string("L3"), {}, {}}),
              (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(Exported(*store, Filter{from, to + 1, {}, {}, std::string("fail")}),
              (std::vector<std::string>{"first", "other"}));
    EXPECT_TRUE(Exported(*store, Filter{from, to, std::string("L3' OR 1=1 --"), {}, {}}).empty());
}

TEST_P(StoreTest, TheParetoCountsFailuresPerReasonTheMostFirstInTheTimeAndPlaceAsked) {
    std::unique_ptr<RecordStore> store = Open(NewUrl());
    ASSERT_TRUE(store);
    std::vector<StoredRecord> records;
    int n = 0;
    const auto add = [&](const std::string& station, BoxResult result, const std::string& code,
                         const std::string& start) {
        records.push_back(
            Stored(Box("r" + std::to_string(++n), station, "A1", result, start, 5, code)));
    };
    for (int i = 0; i < 3; ++i) {
        add("L3", BoxResult::Fail, "box-silent",
            "2026-03-02T10:0" + std::to_string(i) + ":00.000Z");
    }
    add("L3", BoxResult::Fail, "port-lost", "2026-03-02T10:05:00.000Z");
    add("L4", BoxResult::Fail, "port-lost", "2026-03-02T10:06:00.000Z");
    add("L4", BoxResult::Fail, "image-changed", "2026-03-02T10:07:00.000Z");
    add("L3", BoxResult::Pass, "passed", "2026-03-02T10:08:00.000Z");
    add("L3", BoxResult::Aborted, "operator-stop", "2026-03-02T10:09:00.000Z");
    add("L3", BoxResult::Fail, "box-stalled", "2026-03-01T10:00:00.000Z");  // the day before
    ASSERT_TRUE(store->Put(records));

    RecordStore::Filter day{
        Ms("2026-03-02T00:00:00.000Z"), Ms("2026-03-03T00:00:00.000Z"), {}, {}, {}};
    Result<std::vector<RecordStore::ReasonCount>> line = store->Pareto(day);
    ASSERT_TRUE(line) << line.Failure().Describe();
    std::string text;
    for (const auto& row : *line) {
        text += row.reasonCode + "=" + std::to_string(row.count) + " ";
    }
    EXPECT_EQ(text, "box-silent=3 port-lost=2 image-changed=1 ") << "ties in the words' order";
    // The board's, from the counts per 15 minutes: the same.
    Result<std::vector<RecordStore::ReasonCount>> counted =
        store->ParetoOfCounts(day.fromMs, day.toMs - 1, "", "");
    ASSERT_TRUE(counted) << counted.Failure().Describe();
    std::string countedText;
    for (const auto& row : *counted) {
        countedText += row.reasonCode + "=" + std::to_string(row.count) + " ";
    }
    EXPECT_EQ(countedText, text);
    counted = store->ParetoOfCounts(day.fromMs, day.toMs - 1, "L4", "A1");
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->size(), 2u);
    day.station = "L4";
    line = store->Pareto(day);
    ASSERT_TRUE(line);
    ASSERT_EQ(line->size(), 2u);
    EXPECT_EQ((*line)[0].reasonCode, "image-changed");
}

TEST_P(StoreTest, ThePlotsComeFromTheCountsAndOldRecordsGoInBatchesWithTheirCounts) {
    std::unique_ptr<RecordStore> store = Open(NewUrl());
    ASSERT_TRUE(store);
    // An attempt that was tried again is no box of its own: its box counts by its final one.
    BoxRecord retried =
        Box("r0", "A", "1", BoxResult::Fail, "2026-03-02T10:00:00.000Z", 9, "box-stalled");
    retried.final = false;
    ASSERT_TRUE(store->Put({
        Stored(retried),
        Stored(Box("r1", "A", "1", BoxResult::Pass, "2026-03-02T10:00:00.000Z", 10)),
        Stored(Box("r2", "A", "2", BoxResult::Fail, "2026-03-02T10:14:59.999Z", 30, "box-silent")),
        Stored(Box("r3", "B", "1", BoxResult::Pass, "2026-03-02T10:15:00.000Z", 20)),
        Stored(Box("r4", "B", "1", BoxResult::Aborted, "2026-03-02T10:16:00.000Z", 5,
                   "operator-stop")),
    }));
    const std::int64_t from = Ms("2026-03-02T10:00:00.000Z");
    const std::int64_t now = Ms("2026-03-02T10:30:00.000Z");
    Result<Json> line = store->Plot(from, now, "", "");
    ASSERT_TRUE(line) << line.Failure().Describe();
    EXPECT_EQ((*line)["from"], from);
    EXPECT_EQ(JsonLine((*line)["bins"]), R"([[1,1,20],[1,0,20],[0,0,null]])");
    EXPECT_EQ(JsonLine((*line)["stations"]), R"([["A",1,1],["B",1,0]])");
    EXPECT_EQ(JsonLine((*line)["slots"]), "[]");
    Result<Json> stationA = store->Plot(from, now, "A", "");
    EXPECT_EQ(JsonLine((*stationA)["bins"]), R"([[1,1,20],[0,0,null],[0,0,null]])");
    EXPECT_EQ(JsonLine((*stationA)["slots"]), R"([["1",1,0],["2",0,1]])");
    Result<Json> slot = store->Plot(from, now, "A", "2");
    EXPECT_EQ(JsonLine((*slot)["bins"]), R"([[0,1,30],[0,0,null],[0,0,null]])");

    Result<std::vector<RecordStore::Placed>> failures = store->LastFailures(50);
    ASSERT_TRUE(failures);
    ASSERT_EQ(failures->size(), 3u) << "the fails, the attempt tried again, the aborted box";
    EXPECT_NE((*failures)[0].json.find("\"id\":\"r4\""), std::string::npos);
    EXPECT_EQ((*failures)[1].station + "/" + (*failures)[1].slot, "A/2");
    EXPECT_NE((*failures)[2].json.find("\"id\":\"r0\""), std::string::npos);

    // Before 10:20, taken down to 10:15: three records, one at a time, then their counts.
    const std::int64_t cut = Ms("2026-03-02T10:20:00.000Z");
    EXPECT_EQ(*store->DeleteBefore(cut, 1), 1);
    EXPECT_EQ(*store->DeleteBefore(cut, 1), 1);
    EXPECT_EQ(*store->DeleteBefore(cut, 1), 1);
    EXPECT_EQ(*store->DeleteBefore(cut, 5), 0);
    EXPECT_EQ(*store->Count(), 2);
    line = store->Plot(from, now, "", "");
    EXPECT_EQ(JsonLine((*line)["bins"]), R"([[0,0,null],[1,0,20],[0,0,null]])");
    EXPECT_EQ(JsonLine((*line)["stations"]), R"([["B",1,0]])");
}

INSTANTIATE_TEST_SUITE_P(Both, StoreTest, testing::Values(Backend::Sqlite, Backend::Postgres),
                         BackendName);

}  // namespace
