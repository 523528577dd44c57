#pragma once

// Takes records to the database from a thread of its own, so that a box never waits for it.
// A record is first kept in a spool file (mqtt/ResultSpool.h: one write() before Add returns,
// flushed to disk by this thread), then written in batches, each one transaction; it leaves the
// spool once the database has it. While the database cannot be reached, is full or refuses the
// write, records wait in the spool, a restart finds them there, and the writer tries again every
// few seconds; each change is said once. A record written twice (a retry after a commit whose
// answer was lost, a board and a station on one database) is kept once: its id is its key.
//
// With an age bound (the board's --keep-days), the writer also deletes what is older, in small
// batches between the records' own, so that deleting never holds back a write.
//
// Threading rules: Start, Add, End and the readers from any thread; `say` is called on the
// writer's thread, and once by End.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "mqtt/ResultSpool.h"
#include "store/RecordStore.h"

class RecordWriter {
  public:
    using Clock = std::chrono::steady_clock;

    struct Config {
        std::string shown;  // the database as the operator named it
        // Connects (RecordStore::Open, unless a test makes its own).
        std::function<Result<std::unique_ptr<RecordStore>>()> open;
        std::unique_ptr<RecordStore> store;  // connected already, or null
        std::unique_ptr<ResultSpool> spool;
        std::function<void(const std::string&)> say;  // one line, without the program's name
        // What goes on while the database is away, for the operator ("boxes are still served").
        std::string goingOn = "boxes are still served and reported";
        std::chrono::milliseconds retryInterval{2000};
        std::size_t batch = 500;  // records per transaction, at most
        // With keepMs, records that started longer ago are deleted; now() in ms since 1970.
        std::optional<std::int64_t> keepMs;
        std::function<std::int64_t()> now;
        // Told of each record once the database has it (after its transaction).
        std::function<void(std::size_t added)> written;
    };

    explicit RecordWriter(Config config);
    ~RecordWriter();  // End, when it has not been called
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Starts the thread, which first writes what an earlier run left in the spool.
    void Start();
    // `line` is the record as the report has it, ending in "\n". A board gives the `station`
    // and `slot` of the topic it heard it on; a station leaves them empty.
    void Add(const std::string& line, const std::string& station = {},
             const std::string& slot = {});
    // Writes what waits while the database takes it, for at most `grace`; then ends the thread
    // and says how many records wait in the spool for the next run.
    void End(std::chrono::milliseconds grace = std::chrono::seconds(5));

    // The database's disk was full at some time: a station ends with status 8.
    bool DiskFull() const { return m_diskFull.load(); }
    std::size_t Waiting() const { return m_spool->Size(); }
    const std::string& SpoolPath() const { return m_spool->Path(); }

  private:
    enum class Link { Starting, Writing, Unreachable, Full, Refused };

    void Run();
    // One batch from the spool into the database; false when nothing was written.
    bool WriteBatch();
    void Expire();
    void Show(Link link, const std::string& reason);
    void Fault(const SysFailure& failure);
    void Compact(bool now);

    Config m_config;
    std::unique_ptr<ResultSpool> m_spool;
    std::atomic<bool> m_diskFull{false};

    std::mutex m_mutex;
    std::condition_variable m_news;
    bool m_added = false;
    bool m_ending = false;
    Clock::time_point m_deadline{};
    std::thread m_thread;

    // The writer's thread only.
    std::unique_ptr<RecordStore> m_store;
    Clock::time_point m_nextAttempt{};
    Clock::time_point m_lastCompact{};
    Clock::time_point m_nextExpiry{};
    bool m_compactDue = false;
    bool m_expiring = false;  // a deletion of old records is under way
    Link m_shown = Link::Starting;
};

// The spool beside a station's report for the records the database has not taken yet.
std::string DatabaseSpoolPathFor(const std::string& reportPath);
