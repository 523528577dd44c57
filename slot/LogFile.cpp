#include "slot/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/base/Eintr.h"
#include "platform/host/ConsoleOutput.h"
#include "record/BoxRecordCodec.h"

Result<std::unique_ptr<LogFile>> LogFile::Open(const std::string& path, Stamps stamps) {
    UniqueFd fd(RetryOnEintr(
        [&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644); }));
    if (!fd) {
        return ErrnoFailure("open", path, errno);
    }
    // Nobody sees the file beside the terminal: the box's echo, a byte at a time to both, is
    // gathered into one write per turn here and one on standard output.
    ConsoleOutput::Process().SetApart(fd.Get());
    return std::unique_ptr<LogFile>(new LogFile(std::move(fd), path, stamps));
}

LogFile::~LogFile() {
    // Everything queued for the file is written before it is closed.
    ConsoleOutput::Process().Publish();
    ConsoleOutput::Process().Drain(m_fd.Get());
    ConsoleOutput::Process().Forget(m_fd.Get());
}

Result<void> LogFile::Flush() {
    ConsoleOutput::Process().Drain(m_fd.Get());
    if (const int err = ConsoleOutput::Process().FailedWith(m_fd.Get()); err != 0) {
        return ErrnoFailure("write", m_path, err);
    }
    return {};
}

void LogFile::OnTextInserted(CWnd&, std::size_t, std::size_t, std::string_view text) {
    Append(text);
}

void LogFile::Append(std::string_view text) {
    if (m_stamps == Stamps::None) {
        ConsoleOutput::Process().Write(m_fd.Get(), text);
        return;
    }
    std::string stamped;
    for (const char c : text) {
        if (m_atLineStart) {
            stamped += IsoUtcMillis(std::chrono::system_clock::now()) + " ";
            m_atLineStart = false;
        }
        stamped += c;
        m_atLineStart = c == '\n';
    }
    ConsoleOutput::Process().Write(m_fd.Get(), stamped);
}
