#pragma once

// Slots that are not processes, for the supervisor's tests: each start makes a peer whose
// messages from the station are kept, and the test says what the slot sends and how it ends.
// What a slot says waits in one queue until the supervisor listens, as a process's channel
// would hold it. A killed slot ends by signal 9; a slot of `exitOnStop` ends with 143 when told
// to stop. Each start has a process id of its own, from 1000 on, as a process would (its hidden
// files are named by it). Thread-safe, so that a station on a thread of its own can listen to it.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "slot/SlotChannel.h"
#include "station/SlotPeer.h"

class MemoryTransport final : public SlotTransport {
  public:
    // One start of one slot.
    class Peer {
      public:
        Peer(MemoryTransport& transport, std::size_t slot, long pid)
            : m_transport(transport), m_slot(slot), m_pid(pid) {}

        long Pid() const { return m_pid; }

        // What the slot says.
        void Say(const Json& message) { m_transport.Queue(m_slot, this, message, {}); }
        void Hello() { Say(HelloMessage()); }
        void Event(const SessionEvent& event) { Say(EventMessage(event)); }
        void Garble() { m_transport.Queue(m_slot, this, std::nullopt, {}); }
        void Exit(int status) {
            m_transport.Queue(m_slot, this, std::nullopt, SlotExit{status, 0, {}});
        }
        void Crash(int signo) {
            m_transport.Queue(m_slot, this, std::nullopt, SlotExit{-1, signo, {}});
        }

        // What the station sent, by kind.
        std::vector<DownMessage> Sent() const {
            const std::lock_guard lock(m_transport.m_mutex);
            return m_sent;
        }
        bool Got(DownMessage::Kind kind) const {
            for (const DownMessage& m : Sent()) {
                if (m.kind == kind) {
                    return true;
                }
            }
            return false;
        }
        bool Killed() const {
            const std::lock_guard lock(m_transport.m_mutex);
            return m_killed;
        }

      private:
        friend class MemoryTransport;
        MemoryTransport& m_transport;
        std::size_t m_slot;
        long m_pid;
        std::vector<DownMessage> m_sent;
        bool m_killed = false;
        bool m_ended = false;
    };

    // Ends with 143 when told to stop, as a slot does.
    bool exitOnStop = true;
    // Each start's hook (a slot that cannot serve ends at once, say); on the station's thread.
    std::function<void(Peer&)> onStart;

    // The `n`th start of slot `slot`, from 0; null before it.
    Peer* At(std::size_t slot, std::size_t n = 0) {
        const std::lock_guard lock(m_mutex);
        std::size_t seen = 0;
        for (const auto& peer : m_peers) {
            if (peer->m_slot == slot && seen++ == n) {
                return peer.get();
            }
        }
        return nullptr;
    }
    std::size_t Starts(std::size_t slot) {
        const std::lock_guard lock(m_mutex);
        std::size_t n = 0;
        for (const auto& peer : m_peers) {
            n += peer->m_slot == slot ? 1 : 0;
        }
        return n;
    }

    Result<std::unique_ptr<SlotPeer>> Start(std::size_t slot, const std::string&) override {
        Peer* peer = nullptr;
        {
            const std::lock_guard lock(m_mutex);
            m_peers.push_back(
                std::make_unique<Peer>(*this, slot, 1000 + static_cast<long>(m_peers.size())));
            peer = m_peers.back().get();
        }
        if (onStart) {
            onStart(*peer);
        }
        return std::unique_ptr<SlotPeer>(std::make_unique<Handle>(*this, *peer));
    }

    void Wait(std::chrono::milliseconds bound, Ears& ears) override {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, bound, [this] { return !m_queue.empty() || m_woken; });
        m_woken = false;
        while (!m_queue.empty()) {
            Said said = std::move(m_queue.front());
            m_queue.pop_front();
            if (said.peer->m_ended) {
                continue;  // a slot that ended says no more
            }
            said.peer->m_ended = said.exit.has_value();
            lock.unlock();
            if (said.exit) {
                ears.OnExit(said.slot, *said.exit);
            } else {
                ears.OnFrame(said.slot, said.frame);
            }
            lock.lock();
        }
    }

    void Wake() override {
        const std::lock_guard lock(m_mutex);
        m_woken = true;
        m_changed.notify_all();
    }

  private:
    struct Said {
        std::size_t slot;
        Peer* peer;
        std::optional<Json> frame;
        std::optional<SlotExit> exit;
    };

    // The station's hold on a peer.
    class Handle final : public SlotPeer {
      public:
        Handle(MemoryTransport& transport, Peer& peer) : m_transport(transport), m_peer(peer) {}
        void Send(const Json& message) override {
            const std::optional<DownMessage> down = DownMessageFromJson(message);
            bool stop = false;
            {
                const std::lock_guard lock(m_transport.m_mutex);
                m_peer.m_sent.push_back(*down);
                stop = down->kind == DownMessage::Kind::Stop && m_transport.exitOnStop;
            }
            if (stop) {
                m_peer.Exit(143);
            }
        }
        long Pid() const override { return m_peer.Pid(); }
        void Kill() override {
            {
                const std::lock_guard lock(m_transport.m_mutex);
                if (m_peer.m_killed) {
                    return;
                }
                m_peer.m_killed = true;
            }
            m_transport.Queue(m_peer.m_slot, &m_peer, std::nullopt, SlotExit{-1, 9, {}});
        }

      private:
        MemoryTransport& m_transport;
        Peer& m_peer;
    };

    void Queue(std::size_t slot, Peer* peer, std::optional<Json> frame,
               std::optional<SlotExit> exit) {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(Said{slot, peer, std::move(frame), std::move(exit)});
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Said> m_queue;
    bool m_woken = false;
    std::vector<std::unique_ptr<Peer>> m_peers;
};
