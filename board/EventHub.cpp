#include "board/EventHub.h"

#include <algorithm>

struct EventHub::State {
    Limits limits;
    mutable std::mutex mutex;
    std::vector<Stream*> streams;
    bool closed = false;
    std::uint64_t dropped = 0;
};

std::string EventFrame(const std::string& name, const std::string& data) {
    std::string frame = "event: " + name + "\n";
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = data.find_first_of("\r\n", start);
        frame += "data: " + data.substr(start, end - start) + "\n";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return frame + "\n";
}

EventHub::EventHub(Limits limits) : m_state(std::make_shared<State>()) {
    m_state->limits = limits;
}

EventHub::~EventHub() {
    Close();
}

std::unique_ptr<EventHub::Stream> EventHub::Join() {
    std::lock_guard lock(m_state->mutex);
    if (m_state->closed || m_state->streams.size() >= m_state->limits.mostStreams) {
        return nullptr;
    }
    std::unique_ptr<Stream> stream(new Stream(m_state));
    m_state->streams.push_back(stream.get());
    return stream;
}

EventHub::Stream::~Stream() {
    std::lock_guard lock(m_state->mutex);
    std::vector<Stream*>& streams = m_state->streams;
    streams.erase(std::remove(streams.begin(), streams.end(), this), streams.end());
}

void EventHub::Stream::Add(const std::shared_ptr<const std::string>& frame, const std::string& key,
                           std::size_t mostBytes, std::uint64_t& dropped) {
    if (m_ended) {
        return;
    }
    const bool wasEmpty = m_queue.empty();
    const bool wasUrgent = m_urgent;
    if (!key.empty()) {
        if (const auto older = m_keyed.find(key); older != m_keyed.end()) {
            Queued& stale = m_queue[older->second];
            m_bytes -= stale.frame->size();
            stale.frame.reset();
            if (++m_stale > 64 && m_stale > m_queue.size() / 2) {
                Compact();  // a page slow to read keeps a slot's place, not its every state
            }
        }
        m_keyed[key] = m_queue.size();
    } else {
        m_urgent = true;
    }
    const bool wasFull = m_bytes >= kGatherBytes;
    m_queue.push_back({frame, key});
    m_bytes += frame->size();
    if (m_bytes > mostBytes) {
        // Behind by more than its bound: what it would still get is stale; it starts over.
        m_queue.clear();
        m_keyed.clear();
        m_bytes = 0;
        m_stale = 0;
        m_ended = true;
        ++dropped;
        m_ready.notify_one();
        return;
    }
    if (wasEmpty) {
        m_firstAt = Clock::now();
    }
    // Only when the time to write changes: the first frame, the first result, or enough bytes.
    if (wasEmpty || (m_urgent && !wasUrgent) || (!wasFull && m_bytes >= kGatherBytes)) {
        m_ready.notify_one();
    }
}

void EventHub::Stream::Compact() {
    std::vector<Queued> kept;
    kept.reserve(m_queue.size() - m_stale);
    m_keyed.clear();
    for (Queued& queued : m_queue) {
        if (queued.frame) {
            if (!queued.key.empty()) {
                m_keyed[queued.key] = kept.size();
            }
            kept.push_back(std::move(queued));
        }
    }
    m_queue = std::move(kept);
    m_stale = 0;
}

void EventHub::Publish(const std::string& frame, const std::string& key) {
    const auto shared = std::make_shared<const std::string>(frame);
    std::lock_guard lock(m_state->mutex);
    for (Stream* stream : m_state->streams) {
        stream->Add(shared, key, m_state->limits.mostQueuedBytes, m_state->dropped);
    }
}

EventHub::Stream::Taken EventHub::Stream::Take(std::string& out, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_state->mutex);
    const Clock::time_point giveUp = Clock::now() + wait;
    for (;;) {
        if (m_ended) {
            return Taken::End;
        }
        if (m_queue.empty()) {
            if (Clock::now() >= giveUp) {
                return Taken::Quiet;
            }
            m_ready.wait_until(lock, giveUp);
            continue;
        }
        const Clock::time_point due = m_firstAt + (m_urgent ? kUrgentGather : kStateGather);
        if (m_bytes >= kGatherBytes || Clock::now() >= due) {
            break;
        }
        m_ready.wait_until(lock, due);
    }
    for (const Queued& queued : m_queue) {
        if (queued.frame) {
            out += *queued.frame;
        }
    }
    m_queue.clear();
    m_keyed.clear();
    m_bytes = 0;
    m_stale = 0;
    m_urgent = false;
    return Taken::Frames;
}

void EventHub::Close() {
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    for (Stream* stream : m_state->streams) {
        stream->m_ended = true;
        stream->m_ready.notify_one();
    }
}

std::size_t EventHub::Streams() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->streams.size();
}

std::uint64_t EventHub::Dropped() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->dropped;
}

std::size_t EventHub::MostStreams() const {
    return m_state->limits.mostStreams;
}
