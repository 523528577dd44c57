#pragma once

// The board's history on disk (--history FILE), so that a restart keeps the plots and the last
// failures. One JSON line per result (HistoryResult.h), appended with one write() as the result
// comes, flushed to disk at most once a second (from the board's housekeeping thread).
//
// The file never grows without end and is never rewritten: once it holds `segmentLines` lines
// it becomes FILE.1 (FILE.1 becomes FILE.2, ... FILE.4 is dropped) and a new FILE starts. So the
// five files hold at least the last 4 * `segmentLines` results and at most one more segment;
// reading them back keeps what the history's bounds allow. A line torn by a crash is skipped.
// FILE.lock, held while the board runs, keeps a second board off the same files.
//
// Threading rules: one owner at a time (BoardService holds its lock around every call).

#include <functional>
#include <memory>
#include <string>

#include "board/HistoryResult.h"
#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"

class HistoryFile {
  public:
    static constexpr int kOlderSegments = 4;

    // Reads FILE.4 ... FILE.1 and FILE, oldest first, into `each`, and opens FILE to append.
    static Result<std::unique_ptr<HistoryFile>> Open(
        const std::string& path, std::size_t segmentLines,
        const std::function<void(const HistoryResult&)>& each);

    Result<void> Append(const HistoryResult& result);
    Result<void> Sync();
    // What Append wrote since the last Sync or Unflushed, as a descriptor of its own, so that
    // the flush to disk can be made outside the owner's lock (it may take a while); invalid
    // when nothing waits.
    UniqueFd Unflushed();
    const std::string& Path() const { return m_path; }

  private:
    HistoryFile(std::string path, std::size_t segmentLines, UniqueFd lock)
        : m_path(std::move(path)), m_segmentLines(segmentLines), m_lock(std::move(lock)) {}
    Result<void> OpenCurrent();
    Result<void> Rotate();
    std::string Segment(int n) const { return n == 0 ? m_path : m_path + "." + std::to_string(n); }

    const std::string m_path;
    const std::size_t m_segmentLines;
    const UniqueFd m_lock;
    UniqueFd m_fd;
    std::size_t m_lines = 0;  // in FILE
    bool m_unsynced = false;
};
