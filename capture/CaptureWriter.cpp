#include "capture/CaptureWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/base/Eintr.h"
#include "platform/base/WriteAll.h"
#include "record/Json.h"

namespace {

constexpr std::chrono::seconds kSyncEvery{1};

}  // namespace

Result<std::unique_ptr<CaptureWriter>> CaptureWriter::Create(const std::string& path,
                                                             std::int64_t maxBytes,
                                                             std::string_view header) {
    UniqueFd fd(RetryOnEintr(
        [&] { return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }));
    if (!fd) {
        return ErrnoFailure("open", path, errno);
    }
    std::unique_ptr<CaptureWriter> writer(new CaptureWriter(std::move(fd), path, maxBytes));
    writer->Queue(CaptureKind::Header, 0, header);
    writer->m_thread = std::thread([w = writer.get()] { w->Run(); });
    return writer;
}

CaptureWriter::CaptureWriter(UniqueFd fd, std::string path, std::int64_t maxBytes)
    : m_fd(std::move(fd)), m_path(std::move(path)), m_max(maxBytes), m_start(Clock::now()) {}

CaptureWriter::~CaptureWriter() {
    if (!m_finished) {
        (void)Finish({});
    }
}

void CaptureWriter::Queue(CaptureKind kind, std::uint64_t micros, std::string_view body) {
    const std::string entry = EncodeCaptureEntry(kind, micros, body);
    m_size += static_cast<std::int64_t>(entry.size());
    std::lock_guard lock(m_mutex);
    m_queue += entry;
    m_wake.notify_one();
}

void CaptureWriter::Stop(const char* why, std::uint64_t micros) {
    m_stopped = true;
    Queue(CaptureKind::Stopped, micros,
          JsonLine(Json{{"stopped", why}, {"max", m_max}, {"size", m_size}}));
}

void CaptureWriter::Append(CaptureKind kind, std::string_view body, Clock::time_point when) {
    if (m_finished || m_stopped) {
        return;
    }
    const auto since = std::chrono::duration_cast<std::chrono::microseconds>(when - m_start);
    const std::uint64_t micros = std::max<std::uint64_t>(
        m_lastMicros, static_cast<std::uint64_t>(std::max<std::int64_t>(since.count(), 0)));
    m_lastMicros = micros;
    const auto need = static_cast<std::int64_t>(kCaptureEntryHead + body.size());
    if (m_size + need > m_max - kCaptureClosingRoom) {
        Stop("capture-max", micros);
        return;
    }
    bool behind = false;
    {
        std::lock_guard lock(m_mutex);
        behind = m_queue.size() + static_cast<std::size_t>(need) > kQueueBound;
    }
    if (behind) {
        Stop("disk-behind", micros);
        return;
    }
    Queue(kind, micros, body);
}

Result<void> CaptureWriter::Finish(std::string_view closingEvent) {
    if (m_finished) {
        return {};
    }
    if (!closingEvent.empty()) {
        const auto need = static_cast<std::int64_t>(kCaptureEntryHead + closingEvent.size());
        if (m_size + need <= m_max) {
            Queue(CaptureKind::Event, m_lastMicros, closingEvent);
        } else if (!m_stopped) {
            // The room kept for the closing entry holds a Stopped entry in any case.
            Stop("capture-max", m_lastMicros);
        }
    }
    m_finished = true;
    {
        std::lock_guard lock(m_mutex);
        m_end = true;
        m_wake.notify_one();
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    int error = m_error;
    if (m_fd.Reset() != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        return ErrnoFailure("write", m_path, error);
    }
    return {};
}

void CaptureWriter::Run() {
    std::unique_lock lock(m_mutex);
    auto lastSync = Clock::now();
    bool unsynced = false;
    for (;;) {
        const auto ready = [&] { return !m_queue.empty() || m_end; };
        if (unsynced) {
            m_wake.wait_until(lock, lastSync + kSyncEvery, ready);
        } else {
            m_wake.wait(lock, ready);
        }
        std::string out;
        out.swap(m_queue);
        const bool end = m_end;
        const bool failed = m_error != 0;
        lock.unlock();

        int error = 0;
        if (!out.empty() && !failed) {
            error = WriteAll(m_fd.Get(), out);
            unsynced = true;
        }
        const auto now = Clock::now();
        if (unsynced && error == 0 && !failed && (end || now >= lastSync + kSyncEvery)) {
            if (RetryOnEintr([&] { return fdatasync(m_fd.Get()); }) != 0) {
                error = errno;
            }
            unsynced = false;
            lastSync = now;
        }
        lock.lock();
        if (error != 0 && m_error == 0) {
            m_error = error;
        }
        if (m_end && m_queue.empty() && (!unsynced || m_error != 0)) {
            return;
        }
    }
}
