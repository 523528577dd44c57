#pragma once

// The results the broker has not yet acknowledged, kept in a file beside the report so that
// neither a broker that is away nor a restart of the station loses one. Each line is a box's
// record exactly as in the report; a line leaves the file once the broker has it (at the next
// Compact).
//
// How it works. A new result is appended with one write() before Add returns, so a killed
// process loses none; Sync, on the publisher's thread, flushes it to disk, so that the thread
// serving the boxes never waits for the flush (the report line itself is flushed there). An
// acknowledgement rewrites the file without that line (a temporary copy, flushed, then renamed over
// it), so a crash leaves either the old or the new file, never half of one. The file is small while
// the broker is there. The lines are also kept in memory, half a kilobyte a box, while the broker
// is away.
//
// Several runs may share one report (one per port, or the default report of a user). Each takes a
// spool of its own beside it, held with a lock for as long as it runs: the first one free of
// <report>.mqtt-spool, <report>.mqtt-spool.2, ... A run finds what an earlier run left there.
//
// Threading rules: every member may be called from any thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"

class ResultSpool {
  public:
    // The first spool at `path` (or `path`.2, .3, ...) that no other run holds, with whatever an
    // earlier run left in it; fails when none can be read, written or locked.
    static Result<std::unique_ptr<ResultSpool>> Open(const std::string& path);
    ResultSpool(const ResultSpool&) = delete;
    ResultSpool& operator=(const ResultSpool&) = delete;

    struct Entry {
        std::uint64_t seq;
        std::string slot;
        std::string line;  // ends in "\n"
    };

    // Keeps `line` (one record, ending in "\n") for `slot`; fails when it could not be written
    // to disk (it is still kept in memory and sent).
    Result<void> Add(const std::string& slot, const std::string& line);
    // Flushes what Add wrote to disk.
    Result<void> Sync();
    // The broker has the entry `seq`. The file keeps it until Compact, so that a long backlog
    // costs one rewrite per Compact rather than one per result; a crash in between sends it
    // again after the restart (with its id, as any repeat).
    void Acknowledge(std::uint64_t seq);
    // Rewrites the file without what was acknowledged.
    Result<void> Compact();
    // What waits, oldest first.
    std::vector<Entry> Pending() const;
    // At most `count` of what waits after the entry `seq`, oldest first.
    std::vector<Entry> PendingAfter(std::uint64_t seq, std::size_t count) const;
    std::size_t Size() const;
    const std::string& Path() const { return m_path; }

  private:
    ResultSpool(std::string path, UniqueFd lock)
        : m_path(std::move(path)), m_lock(std::move(lock)) {}
    Result<void> RewriteLocked();

    const std::string m_path;
    const UniqueFd m_lock;
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_next = 1;
    bool m_dirty = false;     // the file holds acknowledged lines
    bool m_unsynced = false;  // Add wrote since the last Sync
};

// The spool beside `reportPath`.
std::string SpoolPathFor(const std::string& reportPath);
