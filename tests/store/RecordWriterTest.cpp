// The writer between the records and the database: a database that cannot be reached, then
// comes back, or is full, loses nothing, writes each record once and says each change once;
// what waits when the run ends is in the spool for the next run.

#include "store/RecordWriter.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "tests/store/StoreFixture.h"
#include "tests/support/process/ChildProcess.h"

namespace {

// The writer's news, waited for by the test without a clock: the writer's own callback.
struct Written {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t records = 0;
    std::vector<std::string> said;

    void Add(std::size_t n) {
        std::lock_guard lock(mutex);
        records += n;
        changed.notify_all();
    }
    void Say(const std::string& line) {
        std::lock_guard lock(mutex);
        said.push_back(line);
        changed.notify_all();
    }
    void WaitFor(const std::function<bool()>& done) {
        std::unique_lock lock(mutex);
        changed.wait(lock, done);
    }
    int Said(const std::string& text) {
        std::lock_guard lock(mutex);
        int n = 0;
        for (const std::string& line : said) {
            n += line.find(text) != std::string::npos ? 1 : 0;
        }
        return n;
    }
};

std::string Line(const std::string& id) {
    return BoxRecordLine(Box(id, "L3", "A1", BoxResult::Pass, "2026-03-02T10:00:00.000Z", 5));
}

RecordWriter::Config WriterConfig(const std::string& spool, Written& news) {
    RecordWriter::Config config;
    config.shown = "sqlite:test";
    config.spool = std::move(*ResultSpool::Open(spool));
    config.say = [&news](const std::string& line) { news.Say(line); };
    config.written = [&news](std::size_t n) { news.Add(n); };
    config.retryInterval = std::chrono::milliseconds(5);
    config.batch = 3;
    return config;
}

TEST(RecordWriterTest, ADatabaseAwayThenBackGetsEveryRecordOnceAndEachChangeSaidOnce) {
    TempDir dir;
    const std::string path = dir.File("boxes.sqlite");
    Written news;
    std::mutex gate;
    int refusals = 3;  // the database cannot be reached for the first three tries
    RecordWriter::Config config = WriterConfig(dir.File("boxes.jsonl.db-spool"), news);
    config.open = [&]() -> Result<std::unique_ptr<RecordStore>> {
        std::lock_guard lock(gate);
        if (refusals > 0) {
            --refusals;
            return SysFailure(SysResult{SysStatus::Lost, "", 0}, "sqlite:test",
                              "could not connect to server: Connection refused");
        }
        return RecordStore::Open(*ParseStoreUrl("sqlite:" + path));
    };
    {
        RecordWriter writer(std::move(config));
        // Records taken before the thread starts wait in the spool, on disk.
        for (const char* id : {"r1", "r2", "r3", "r4"}) {
            writer.Add(Line(id));
        }
        EXPECT_EQ(CountOf(ReadBytes(dir.File("boxes.jsonl.db-spool")), "\"id\":\"r"), 4);
        writer.Start();
        writer.Add(Line("r2"));  // the same record again: kept once
        writer.Add(Line("r5"));
        news.WaitFor([&] { return news.records >= 5; });
        writer.End();
        EXPECT_FALSE(writer.DiskFull());
        EXPECT_EQ(writer.Waiting(), 0u);
    }
    EXPECT_EQ(news.Said("cannot reach sqlite:test: could not connect to server"), 1);
    EXPECT_EQ(news.Said("takes records again"), 1);
    EXPECT_EQ(news.records, 5u);
    std::unique_ptr<RecordStore> store =
        std::move(*RecordStore::Open(*ParseStoreUrl("sqlite:" + path)));
    EXPECT_EQ(*store->Count(), 5);
    EXPECT_EQ(ReadBytes(dir.File("boxes.jsonl.db-spool")), "") << "the spool is empty again";
}

TEST(RecordWriterTest, AFullDatabaseKeepsTheRecordsInTheSpoolSaysItOnceAndMarksTheRun) {
    TempDir dir;
    const std::string path = dir.File("boxes.sqlite");
    const std::string spool = dir.File("boxes.jsonl.db-spool");
    ASSERT_TRUE(RecordStore::Open(*ParseStoreUrl("sqlite:" + path)));
    Written news;
    std::mutex gate;
    bool room = false;
    int opens = 0;
    RecordWriter::Config config = WriterConfig(spool, news);
    config.batch = 500;
    // SQLite's own bound on the file's pages plays the full disk.
    config.open = [&]() -> Result<std::unique_ptr<RecordStore>> {
        auto connection = SqliteConnection::Open(path);
        std::lock_guard lock(gate);
        ++opens;
        news.changed.notify_all();
        if (!room) {
            (void)(*connection)->Run("PRAGMA max_page_count = 12");
        }
        return RecordStore::On(std::move(*connection));
    };
    const std::string big(3000, 'x');
    {
        RecordWriter writer(std::move(config));
        // All taken before the thread starts, so that its first batch is all of them: more
        // than the few pages hold.
        for (int i = 0; i < 40; ++i) {
            BoxRecord box = Box("r" + std::to_string(i), "L3", "A1", BoxResult::Pass,
                                "2026-03-02T10:00:00.000Z", 5);
            box.image = big;  // a few records fill the few pages
            writer.Add(BoxRecordLine(box));
        }
        writer.Start();
        news.WaitFor([&] { return !news.said.empty(); });
        // Tried again and again, said once.
        news.WaitFor([&] {
            std::lock_guard lock(gate);
            return opens >= 4;
        });
        EXPECT_TRUE(writer.DiskFull());
        EXPECT_EQ(news.Said("is full: database or disk is full"), 1) << news.said.front();
        EXPECT_EQ(news.Said("the run will end with status 8"), 1);
        EXPECT_EQ(CountOf(ReadBytes(spool), "\"id\":\"r"), 40) << "every record kept";
        {
            std::lock_guard lock(gate);
            room = true;
        }
        news.WaitFor([&] { return news.records >= 40; });
        writer.End();
        EXPECT_TRUE(writer.DiskFull()) << "the run still ends with status 8";
    }
    std::unique_ptr<RecordStore> store =
        std::move(*RecordStore::Open(*ParseStoreUrl("sqlite:" + path)));
    EXPECT_EQ(*store->Count(), 40);
}

TEST(RecordWriterTest, WhatWaitsAtTheEndStaysInTheSpoolAndTheNextRunWritesIt) {
    TempDir dir;
    const std::string path = dir.File("boxes.sqlite");
    const std::string spool = dir.File("boxes.jsonl.db-spool");
    Written news;
    {
        RecordWriter::Config config = WriterConfig(spool, news);
        config.shown = "postgresql://db/line";
        config.open = []() -> Result<std::unique_ptr<RecordStore>> {
            return SysFailure(SysResult{SysStatus::Lost, "", 0}, "postgresql://db/line",
                              "timeout expired");
        };
        RecordWriter writer(std::move(config));
        writer.Start();
        writer.Add(Line("r1"));
        writer.Add(Line("r2"));
        writer.End(std::chrono::milliseconds(0));
    }
    EXPECT_EQ(news.Said("2 records wait in the spool " + spool +
                        "; the next run writes them to postgresql://db/line"),
              1);
    Written again;
    RecordWriter::Config config = WriterConfig(spool, again);
    config.open = [&] { return RecordStore::Open(*ParseStoreUrl("sqlite:" + path)); };
    RecordWriter writer(std::move(config));
    writer.Start();
    again.WaitFor([&] { return again.records >= 2; });
    writer.End();
    EXPECT_TRUE(again.said.empty()) << again.said.front();
}

}  // namespace

namespace {

TEST(RecordWriterTest, RecordsPastTheAgeBoundGoInSmallBatchesBetweenTheWrites) {
    TempDir dir;
    const std::string url = "sqlite:" + dir.File("board.sqlite");
    {
        std::unique_ptr<RecordStore> store = std::move(*RecordStore::Open(*ParseStoreUrl(url)));
        std::vector<StoredRecord> old;
        for (int i = 0; i < 2500; ++i) {  // more than one batch of deletes
            old.push_back(Stored(Box("old" + std::to_string(i), "L3", "A1", BoxResult::Pass,
                                     "2026-01-01T10:00:00.000Z", 5)));
        }
        ASSERT_TRUE(store->Put(old));
    }
    Written news;
    RecordWriter::Config config = WriterConfig(dir.File("board.sqlite.spool"), news);
    config.open = [url] { return RecordStore::Open(*ParseStoreUrl(url)); };
    config.keepMs = 30LL * 24 * 3600 * 1000;
    config.now = [] { return Ms("2026-03-02T12:00:00.000Z"); };
    RecordWriter writer(std::move(config));
    writer.Start();
    writer.Add(Line("new"));  // a fresh record: kept
    news.WaitFor([&] { return news.records >= 1; });
    std::unique_ptr<RecordStore> store = std::move(*RecordStore::Open(*ParseStoreUrl(url)));
    // The deleting goes on in the writer's idle turns; nothing here bounds how long it takes.
    while (*store->Count() > 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    writer.End();
    EXPECT_EQ(*store->Count(), 1);
    std::vector<std::string> left;
    ASSERT_TRUE(store->Export({0, Ms("2027-01-01T00:00:00.000Z"), {}, {}, {}},
                              [&](const std::string& line) {
                                  left.push_back(line);
                                  return true;
                              }));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_NE(left[0].find("\"id\":\"new\""), std::string::npos);
}

}  // namespace
