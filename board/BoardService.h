#pragma once

// The board behind the HTTP server: what the watch hears from the broker goes in here, and the
// page's snapshot, plots, searches and exports come out. It holds the line's state (LineBoard),
// the event fan-out (EventHub) and the one lock around them; the history is the database
// (store/RecordStore.h), written by the writer's thread (store/RecordWriter.h: its spool keeps
// what a database that is away has not taken) and read on a connection of its own.
//
// A message changes the state and publishes its event under the lock, and a stream is joined
// and given its snapshot under it too, so that a page sees every change exactly once after its
// snapshot. Publishing never waits for a page (EventHub.h), nor for the database: a result goes
// to the writer's queue, and the database keeps it once by its id. A result heard again (QoS 1
// after a reconnection, a station's spool sent again) is told by its id among the latest 100,000
// (read from the database at the start, then as heard), so that a page does not see it twice.
//
// Threading rules: OnMessage and OnLink from the watch's thread; the rest from any thread.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>

#include "board/EventHub.h"
#include "board/HistoryResult.h"
#include "board/LineBoard.h"
#include "platform/base/Result.h"
#include "store/RecordStore.h"
#include "store/RecordWriter.h"

class BoardService {
  public:
    static constexpr std::size_t kFailuresKept = 50;

    struct Config {
        // The history's database (--db); empty: a temporary SQLite file, gone when the board is.
        std::string db;
        // An older board's history files (FILE, FILE.1 ... FILE.4), read into the database once
        // and then renamed FILE.imported, ...
        std::string importFrom;
        // Where the writer's spool lies; empty: beside a SQLite file, or in the state folder.
        std::string spool;
        std::int64_t keepMs = 400LL * 24 * 3600 * 1000;
        EventHub::Limits streams;
        // Milliseconds since 1970, UTC; the system's clock unless a test gives another.
        std::function<std::int64_t()> now;
        std::function<void(const std::string&)> say;  // one line for the operator
        // Told once the database has a result (tests wait for it).
        std::function<void(std::size_t)> written;
    };

    // Opens the database (and imports an older history); fails when it is not one, is of a
    // newer schema or the import fails. A database that cannot be reached now is said, and
    // the results wait in the spool.
    static Result<std::unique_ptr<BoardService>> Open(Config config);
    ~BoardService();
    BoardService(const BoardService&) = delete;
    BoardService& operator=(const BoardService&) = delete;

    void OnMessage(const std::string& topic, const std::string& payload);
    // The broker's state as the watch says it.
    void OnLink(bool connected, const std::string& text);

    // {"broker":{"connected":..,"text":..},"stations":[...],"failures":[...newest last]}
    // One string, shared by every reader until the board next changes.
    std::shared_ptr<const std::string> Snapshot() const;
    // RecordStore::Plot over the last `hours`, up to now, with the Pareto of the failures in
    // that time and place: "pareto":[[reason_code,count,cumulative share 0..1],...] (the most
    // first); "error" says why the database could not answer.
    std::string Plot(int hours, const std::string& station, const std::string& slot) const;
    // {"box":ID,"records":[record,... oldest first]} (at most 1000; each with the station and
    // slot of the topic the board counts it under), or with "error".
    std::string Find(const std::string& boxId) const;
    // The records of the last `hours` of `station` (and `slot`) as CSV, in pieces to `write`
    // (which answers false when the reader went away); on a connection of its own, so that a
    // long export holds back no plot. False when the database could not be read.
    bool ExportCsv(int hours, const std::string& station, const std::string& slot,
                   const std::function<bool(const std::string&)>& write) const;
    // A new event stream and the snapshot it starts from (Snapshot's JSON, to be sent as its
    // first frame); null at the most streams.
    std::unique_ptr<EventHub::Stream> OpenStream(std::shared_ptr<const std::string>& snapshot);
    // Ends every stream (before the server stops).
    void CloseStreams();

    // How many results the database holds; nothing when it cannot be read now.
    std::optional<std::int64_t> HistorySize() const;
    const std::string& Shown() const { return m_url.shown; }
    const EventHub& Hub() const { return m_hub; }

  private:
    explicit BoardService(Config config);
    void Publish(const LineBoard::Event& event);
    std::shared_ptr<const std::string> SnapshotLocked() const;
    // False when `id` is among the latest heard.
    bool Remember(const std::string& id);
    // The reading connection, made again when it was lost; null when it cannot be made.
    RecordStore* Reader() const;
    RecordStore::Filter Scope(int hours, const std::string& station, const std::string& slot) const;

    Config m_config;
    StoreUrl m_url;
    std::string m_temporary;  // the folder of a temporary database, removed at the end
    mutable std::mutex m_mutex;
    LineBoard m_board;
    EventHub m_hub;
    bool m_connected = false;
    std::string m_link = "connecting to the broker";
    std::deque<HistoryResult> m_failures;
    // The ids of the last results heard, oldest first, to tell one heard again.
    std::deque<std::string> m_recentOrder;
    std::unordered_set<std::string> m_recent;
    std::unique_ptr<RecordWriter> m_writer;

    // Reads: the plots' connection and their cache (every open page asks the same few).
    mutable std::mutex m_readMutex;
    mutable std::unique_ptr<RecordStore> m_reader;
    struct CachedPlot {
        std::int64_t madeMs;
        std::string json;
    };
    mutable std::map<std::string, CachedPlot> m_plots;
    mutable std::shared_ptr<const std::string> m_snapshot;  // null: made again at the next read
};
