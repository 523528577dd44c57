#pragma once

// `--log-file FILE`: follows the log view and appends what it holds to a file as well, byte for
// byte (a file drives no terminal, so nothing is escaped; names in the log are escaped where they
// are logged). With timestamps, each line starts with its UTC time ("2026-12-07T02:31:07.120Z ").
// The text goes through the output thread like standard output, so a slow disk never holds the
// box.
//
// Threading rules: UI thread (the log view's observer).

#include <memory>
#include <string>
#include <string_view>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "platform/window/WindowObserver.h"

class LogFile final : public WindowObserver {
  public:
    enum class Stamps { None, Utc };

    // Opens `path` for appending.
    static Result<std::unique_ptr<LogFile>> Open(const std::string& path, Stamps stamps);
    ~LogFile() override;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    void OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) override;
    // Text of the file's own (a box's verdict), stamped like the log's lines.
    void Append(std::string_view text);
    // Waits until what was written has reached the file; fails when some of it could not
    // (a full disk), naming the file and the system's reason.
    Result<void> Flush();
    const std::string& Path() const { return m_path; }

  private:
    LogFile(UniqueFd fd, std::string path, Stamps stamps)
        : m_fd(std::move(fd)), m_path(std::move(path)), m_stamps(stamps) {}

    UniqueFd m_fd;
    std::string m_path;
    Stamps m_stamps;
    bool m_atLineStart = true;
};
