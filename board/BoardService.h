#pragma once

// The board behind the HTTP server: what the watch hears from the broker goes in here, and the
// page's snapshot, plots and event streams come out. It holds the line's state (LineBoard), the
// history (HistoryStore, with its file when --history is given) and the event fan-out
// (EventHub), and the one lock around them.
//
// A message changes the state and publishes its event under that lock, and a stream is joined
// and given its snapshot under it too, so that a page sees every change exactly once after its
// snapshot. Publishing never waits for a page (EventHub.h). A housekeeping thread lets old
// results go and flushes the history file, once a second.
//
// Threading rules: OnMessage and OnLink from the watch's thread; the rest from any thread.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "board/EventHub.h"
#include "board/HistoryFile.h"
#include "board/HistoryStore.h"
#include "board/LineBoard.h"
#include "platform/base/Result.h"

class BoardService {
  public:
    struct Config {
        std::string historyPath;  // empty: the history lives in memory only
        HistoryStore::Limits limits;
        EventHub::Limits streams;
        // Milliseconds since 1970, UTC; the system's clock unless a test gives another.
        std::function<std::int64_t()> now;
        std::function<void(const std::string&)> say;  // one line for the operator
    };

    // Reads the history file, when there is one; fails when it cannot be opened or is held by
    // another board.
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
    // HistoryStore::Plot over the last `hours`, up to now.
    std::string Plot(int hours, const std::string& station, const std::string& slot) const;
    // A new event stream and the snapshot it starts from (Snapshot's JSON, to be sent as its
    // first frame); null at the most streams.
    std::unique_ptr<EventHub::Stream> OpenStream(std::shared_ptr<const std::string>& snapshot);
    // Ends every stream (before the server stops).
    void CloseStreams();

    std::size_t HistorySize() const;
    const EventHub& Hub() const { return m_hub; }

  private:
    explicit BoardService(Config config);
    void Publish(const LineBoard::Event& event);
    std::shared_ptr<const std::string> SnapshotLocked() const;
    void Housekeeping();
    void Complain(const std::string& what, const Result<void>& result);

    Config m_config;
    mutable std::mutex m_mutex;
    LineBoard m_board;
    HistoryStore m_history;
    std::unique_ptr<HistoryFile> m_file;
    EventHub m_hub;
    bool m_connected = false;
    std::string m_link = "connecting to the broker";
    std::string m_lastComplaint;
    // The plots asked for lately: every open page asks the same few, and a plot over 7 days of
    // a full history reads a few hundred thousand counts.
    struct CachedPlot {
        std::int64_t madeMs;
        std::string json;
    };
    mutable std::map<std::string, CachedPlot> m_plots;
    mutable std::shared_ptr<const std::string> m_snapshot;  // null: made again at the next read

    std::mutex m_tickMutex;
    std::condition_variable m_tick;
    bool m_ending = false;
    std::thread m_housekeeper;
};
