#include "slot/SlotChannelEnd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/Eintr.h"

namespace {

// Often enough for a station that shows figures once a second; rarely enough that sixty-four
// slots cost the station next to nothing.
constexpr std::chrono::milliseconds kRequestEvery{500};
// What is still queued at the end has this long to reach the station.
constexpr std::chrono::seconds kFlushBound{3};

// Waits for `events` on `fd` until `deadline` (none: -1 ms); false when `wake` fired, the time
// ran out or poll failed.
bool WaitFor(int fd, short events, int wake, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int n = RetryOnEintr([&] { return poll(fds, 2, timeoutMs); });
    return n > 0 && fds[1].revents == 0 && fds[0].revents != 0;
}

}  // namespace

SlotChannelEnd::SlotChannelEnd(int fd) : m_fd(fd), m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    // Nothing this process starts inherits the channel.
    fcntl(m_fd.Get(), F_SETFD, FD_CLOEXEC);
    fcntl(m_fd.Get(), F_SETFL, fcntl(m_fd.Get(), F_GETFL) | O_NONBLOCK);
    m_writer = std::thread([this] { Write(); });
}

SlotChannelEnd::~SlotChannelEnd() {
    {
        std::unique_lock lock(m_mutex);
        m_closing = true;
        m_changed.notify_all();
        m_changed.wait_for(lock, kFlushBound, [this] { return m_queue.empty() && m_queued == 0; });
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wake.Get(), &one, sizeof one);
    m_writer.join();
    if (m_reader.joinable()) {
        m_reader.join();
    }
}

Result<SlotConfig> SlotChannelEnd::Open(std::chrono::milliseconds bound) {
    Send(HelloMessage());
    const auto deadline = std::chrono::steady_clock::now() + bound;
    bool greeted = false;
    for (;;) {
        while (std::optional<Json> frame = m_frames.Next()) {
            const std::optional<DownMessage> message = DownMessageFromJson(*frame);
            if (!greeted) {
                if (!message || message->kind != DownMessage::Kind::Hello) {
                    return Refusal("", "the station's channel does not begin with its hello");
                }
                if (message->version != kSlotChannelVersion) {
                    return Refusal("", VersionMismatch(kSlotChannelVersion, message->version));
                }
                greeted = true;
            } else if (message && message->kind == DownMessage::Kind::Config) {
                return message->config;
            } else {
                return Refusal("", "the station's channel brings no configuration");
            }
        }
        if (m_frames.Broken()) {
            return Refusal("", "the station's channel brings a frame that does not decode");
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            !WaitFor(m_fd.Get(), POLLIN, m_wake.Get(), static_cast<int>(left.count()))) {
            return Refusal("", "the station sent no configuration");
        }
        char buffer[4096];
        const ssize_t n = RetryOnEintr([&] { return read(m_fd.Get(), buffer, sizeof buffer); });
        if (n <= 0 && !(n < 0 && errno == EAGAIN)) {
            return Refusal("", "the station's channel closed");
        }
        if (n > 0) {
            m_frames.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
    }
}

void SlotChannelEnd::Listen(Orders orders) {
    {
        const std::lock_guard lock(m_ordersMutex);
        m_orders = std::move(orders);
    }
    m_reader = std::thread([this] { Read(); });
}

void SlotChannelEnd::Deafen() {
    const std::lock_guard lock(m_ordersMutex);
    m_orders = {};
}

void SlotChannelEnd::Obey(const std::function<void(const Orders&)>& order) {
    const std::lock_guard lock(m_ordersMutex);
    order(m_orders);
}

void SlotChannelEnd::Read() {
    for (;;) {
        while (std::optional<Json> frame = m_frames.Next()) {
            const std::optional<DownMessage> message = DownMessageFromJson(*frame);
            if (!message) {
                Gone();
                return;
            }
            switch (message->kind) {
                case DownMessage::Kind::Finish:
                    Obey([](const Orders& o) {
                        if (o.finish) {
                            o.finish();
                        }
                    });
                    break;
                case DownMessage::Kind::Stop:
                    Obey([](const Orders& o) {
                        if (o.stop) {
                            o.stop();
                        }
                    });
                    break;
                case DownMessage::Kind::Input:
                    Obey([&](const Orders& o) {
                        if (o.input) {
                            o.input(message->input);
                        }
                    });
                    break;
                default:
                    break;  // a hello or configuration again, an input of a later kind
            }
        }
        if (m_frames.Broken() || !WaitFor(m_fd.Get(), POLLIN, m_wake.Get(), -1)) {
            if (m_frames.Broken()) {
                Gone();
            }
            return;
        }
        char buffer[4096];
        const ssize_t n = RetryOnEintr([&] { return read(m_fd.Get(), buffer, sizeof buffer); });
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
            Gone();
            return;
        }
        if (n > 0) {
            m_frames.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        }
    }
}

void SlotChannelEnd::Gone() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_goneTold || m_closing) {
            return;
        }
        m_goneTold = true;
    }
    Obey([](const Orders& o) {
        if (o.stop) {
            o.stop();
        }
    });
}

void SlotChannelEnd::Send(const Json& message) {
    std::string frame = FrameOf(message);
    bool overflow = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_broken) {
            return;
        }
        if (m_queued + frame.size() > kMaxQueued) {
            m_broken = overflow = true;
            m_queue.clear();
            m_queued = 0;
        } else {
            m_queued += frame.size();
            m_queue.push_back(std::move(frame));
        }
    }
    m_changed.notify_all();
    if (overflow) {
        Gone();
    }
}

void SlotChannelEnd::Write() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_closing; });
        if (m_queue.empty()) {
            return;
        }
        std::string frame = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        std::size_t at = 0;
        bool failed = false;
        while (at < frame.size() && !failed) {
            const ssize_t n = RetryOnEintr([&] {
                return send(m_fd.Get(), frame.data() + at, frame.size() - at, MSG_NOSIGNAL);
            });
            if (n > 0) {
                at += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                failed = !WaitFor(m_fd.Get(), POLLOUT, m_wake.Get(), -1);
            } else {
                failed = true;
            }
        }
        lock.lock();
        m_queued -= std::min(m_queued, frame.size());
        m_changed.notify_all();
        if (failed) {
            m_broken = true;
            m_queue.clear();
            m_queued = 0;
            lock.unlock();
            Gone();
            return;
        }
    }
}

void SlotChannelEnd::OnStarted(const DownloadStarted& started) {
    m_lastRequest = {};
    m_requestHeld = false;
    Send(EventMessage(started));
}

void SlotChannelEnd::OnFirstFrame() {
    Send(EventMessage(FirstFrameSeen{}));
}

void SlotChannelEnd::OnRequestAnswered(const RequestAnswered& request) {
    const auto now = std::chrono::steady_clock::now();
    const bool first = m_lastRequest == std::chrono::steady_clock::time_point{};
    if (!first && now - m_lastRequest < kRequestEvery) {
        // The latest figures go out with the next beat, or before the next event.
        m_held = request;
        m_requestHeld = true;
        return;
    }
    m_lastRequest = now;
    m_requestHeld = false;
    Send(EventMessage(request));
}

void SlotChannelEnd::SendHeldRequest() {
    if (m_requestHeld) {
        m_requestHeld = false;
        m_lastRequest = std::chrono::steady_clock::now();
        Send(EventMessage(m_held));
    }
}

void SlotChannelEnd::Beat() {
    // Held figures are news enough, and they are due anyway.
    if (m_requestHeld) {
        SendHeldRequest();
        return;
    }
    Send(BeatMessage());
}

void SlotChannelEnd::Say(const std::string& text) {
    Send(SayMessage(text));
}

void SlotChannelEnd::Ending(int status, const std::string& why) {
    Send(EndingMessage(status, why));
}

void SlotChannelEnd::Unit(const UnitReport& report) {
    Send(UnitMessage(report));
}

void SlotChannelEnd::OnConsoleText(std::string_view bytes) {
    // Enough for the station's copy to know the box is alive; never a message per byte.
    const auto now = std::chrono::steady_clock::now();
    if (!bytes.empty() && now - m_lastSpoke >= std::chrono::seconds(1)) {
        m_lastSpoke = now;
        Send(EventMessage(BoxSpoke{}));
    }
}

void SlotChannelEnd::OnTimeAsked() {
    SendHeldRequest();
    Send(EventMessage(TimeAsked{}));
}

void SlotChannelEnd::OnSlotState(SlotState state, const SysFailure& why) {
    SendHeldRequest();
    Send(EventMessage(SlotStateChanged{state, why}));
}

void SlotChannelEnd::OnBoxIdentified(const std::string& boxId) {
    // At once, so that the station's copy, and its journal of the box, knows which box it is.
    m_lastSpoke = std::chrono::steady_clock::now();
    Send(EventMessage(BoxSpoke{boxId}));
}

void SlotChannelEnd::OnSessionEnded(const SessionEnd& end) {
    SendHeldRequest();
    if (end.record) {
        Send(RecordMessage(*end.record));
    }
    Send(EventMessage(end.ended));
}
