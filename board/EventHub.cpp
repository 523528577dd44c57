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

void EventHub::Publish(const std::string& frame) {
    const auto shared = std::make_shared<const std::string>(frame);
    std::lock_guard lock(m_state->mutex);
    for (Stream* stream : m_state->streams) {
        if (stream->m_ended) {
            continue;
        }
        stream->m_bytes += shared->size();
        if (stream->m_bytes > m_state->limits.mostQueuedBytes) {
            // Behind by more than its bound: what it would still get is stale; it starts over.
            stream->m_queue.clear();
            stream->m_bytes = 0;
            stream->m_ended = true;
            ++m_state->dropped;
        } else {
            stream->m_queue.push_back(shared);
        }
        stream->m_ready.notify_one();
    }
}

EventHub::Stream::Taken EventHub::Stream::Take(std::string& out, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_state->mutex);
    m_ready.wait_for(lock, wait, [&] { return m_ended || !m_queue.empty(); });
    if (m_ended) {
        return Taken::End;
    }
    if (m_queue.empty()) {
        return Taken::Quiet;
    }
    for (const auto& frame : m_queue) {
        out += *frame;
    }
    m_queue.clear();
    m_bytes = 0;
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
