#pragma once

// The JSON Lines report: one line per box, appended and flushed to disk as the box ends, so a
// crash of the PC loses no finished box and a reader never sees half a line.
//
// How it works. The file is opened with O_APPEND and each line goes out in a single write(),
// then fsync. A short write (a full disk) is cut off again, so the file still ends on a line.
// A file that ends without a line break (a crash of some earlier writer) gets one before the
// first line, so every line written here starts a line of its own.
//
// Threading rules: one owner thread. Several processes may append to one report; each line is
// one write() on a file opened with O_APPEND.

#include <memory>
#include <string>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"

class ReportFile {
  public:
    // Fails with "/x/report.jsonl: open: Permission denied" when it cannot be opened.
    static Result<std::unique_ptr<ReportFile>> Open(const std::string& path);
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // `line` ends in "\n". Fails when it is not wholly on disk.
    Result<void> Append(const std::string& line);
    // What can be learnt of the next Append without leaving a trace in the report: a write of
    // nothing, which a device that takes no byte refuses (/dev/full: "No space left on
    // device"), and for a file on disk, where such a write proves nothing, whether its file
    // system has a block left for this user. A pipe or a terminal gets nothing its reader
    // would see.
    Result<void> Probe();
    const std::string& Path() const { return m_path; }

  private:
    ReportFile(UniqueFd fd, std::string path, bool needsBreak, bool regular)
        : m_fd(std::move(fd)),
          m_path(std::move(path)),
          m_needsBreak(needsBreak),
          m_regular(regular) {}

    UniqueFd m_fd;
    std::string m_path;
    bool m_needsBreak;
    // Only a file on disk is flushed; a pipe or a terminal (--report /dev/stdout) has no disk.
    bool m_regular;
};
