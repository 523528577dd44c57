#include "mqtt/MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "mqtt/TopicName.h"

namespace {

constexpr int kKeepAliveSeconds = 10;
// A broker that does not answer a connection (a host that drops the packets) is given up on
// after this, rather than after the system's TCP timeout of minutes.
constexpr auto kConnectBound = std::chrono::seconds(10);
// The longest one turn of the network loop waits for the socket or for news. A result wakes it
// at once; states (at most one a second) and the keep-alive can wait that long.
constexpr int kTurnMs = 250;
// Results sent and not yet acknowledged, at most.
constexpr std::size_t kMostInFlight = 64;
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

std::string InfoPayload(const MqttPublisher::Config& config) {
    StationInfo info = config.info;
    info.station = config.station;
    return StationInfoJson(info);
}

}  // namespace

MqttPublisher::MqttPublisher(Config config)
    : m_config(std::move(config)),
      m_spool(std::move(m_config.spool)),
      m_statusTopic(StatusTopic(m_config.station)),
      m_infoTopic(InfoTopic(m_config.station)),
      m_infoPayload(InfoPayload(m_config)),
      m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

MqttPublisher::~MqttPublisher() {
    StationEnded();
}

void MqttPublisher::Wake() {
    if (m_wakeFd) {
        const std::uint64_t one = 1;
        (void)!write(m_wakeFd.Get(), &one, sizeof one);
    }
}

void MqttPublisher::WaitForNews(int milliseconds) {
    pollfd fd{m_wakeFd.Get(), POLLIN, 0};
    if (poll(&fd, m_wakeFd ? 1 : 0, milliseconds) > 0) {  // EINTR: just an early turn
        std::uint64_t count = 0;
        (void)!read(m_wakeFd.Get(), &count, sizeof count);
    }
}

int MqttPublisher::Turn() {
    const int socket = mosquitto_socket(m_client);
    if (socket >= 0) {
        pollfd fds[2] = {
            {socket, static_cast<short>(POLLIN | (mosquitto_want_write(m_client) ? POLLOUT : 0)),
             0},
            {m_wakeFd.Get(), POLLIN, 0},
        };
        poll(fds, m_wakeFd ? 2 : 1, kTurnMs);  // EINTR: just an early turn
        if ((fds[1].revents & POLLIN) != 0) {
            std::uint64_t count = 0;
            (void)!read(m_wakeFd.Get(), &count, sizeof count);
        }
    }
    // The waiting was done above; libmosquitto reads, writes and keeps the connection alive.
    return mosquitto_loop(m_client, 0, 1);
}

void MqttPublisher::StationStarted() {
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable() && !m_ending) {
        m_thread = std::thread([this] { Run(); });
    }
}

void MqttPublisher::SlotChanged(const std::string& slot, const SlotStatus& status) {
    std::lock_guard lock(m_mutex);
    Slot& entry = m_slots[slot];
    if (entry.status == status && !entry.pending) {
        return;
    }
    entry.status = status;
    entry.pending = true;
}

void MqttPublisher::RecordFinal(const std::string& slot, const std::string& line) {
    if (Result<void> kept = m_spool->Add(slot, line); !kept && m_config.say) {
        // The report has the record; only a restart before the broker takes it would lose it.
        m_config.say("MQTT: the spool cannot be written (" + kept.Failure().Describe() +
                     "); the result is sent, but a restart before the broker has it loses it");
    }
    {
        std::lock_guard lock(m_mutex);
        m_resultsWaiting = true;
    }
    Wake();
}

void MqttPublisher::StationEnded(std::chrono::milliseconds grace) {
    bool first = false;
    {
        std::lock_guard lock(m_mutex);
        if (!m_ending) {
            first = true;
            m_ending = true;
            m_deadline = Clock::now() + grace;
        }
    }
    Wake();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    const std::size_t left = m_spool->Size();
    if (first && left > 0 && m_config.say) {
        m_config.say("MQTT: " + std::to_string(left) +
                     (left == 1 ? " result waits" : " results wait") + " in the spool " +
                     m_spool->Path() + "; the next run sends them");
    }
}

void MqttPublisher::Show(Link link, const std::string& reason) {
    if (link == m_shown && (link == Link::Connected || reason == m_shownReason)) {
        return;
    }
    if (m_shown == Link::Lost && link == Link::Unreachable) {
        return;  // the tries to get it back are part of the same loss
    }
    m_shown = link;
    m_shownReason = reason;
    if (!m_config.say) {
        return;
    }
    const std::string broker = ShownBroker(m_config.login.url);
    const std::string waiting = "; results wait in " + m_spool->Path() + " until it is back";
    switch (link) {
        case Link::Connected: {
            const std::size_t spooled = m_spool->Size();
            m_config.say("MQTT: connected to " + broker + " as station '" + m_config.station + "'" +
                         (spooled > 0
                              ? "; sending " + std::to_string(spooled) + " result(s) from the spool"
                              : std::string()));
            break;
        }
        case Link::Unreachable:
            m_config.say("MQTT: cannot reach " + broker + ": " + reason +
                         "; boxes are still served and reported" + waiting);
            break;
        case Link::Refused:
            m_config.say("MQTT: " + broker + " refused the login: " + reason +
                         "; check the user in the URL and the password (STAVEL_MQTT_PASSWORD or "
                         "--mqtt-password-file)" +
                         waiting);
            break;
        case Link::Lost:
            m_config.say("MQTT: lost the connection to " + broker + ": " + reason + waiting);
            break;
        case Link::Starting:
            break;
    }
}

void MqttPublisher::Connect() {
    Result<mosquitto*> client = NewMqttClient(m_config.login, UniqueClientId(), this);
    if (!client) {
        Show(Link::Unreachable, client.Failure().Describe());
        return;
    }
    m_client = *client;
    mosquitto_will_set(m_client, m_statusTopic.c_str(), static_cast<int>(std::strlen(kOffline)),
                       kOffline, 1, true);
    mosquitto_connect_callback_set(m_client, &MqttPublisher::OnConnect);
    mosquitto_disconnect_callback_set(m_client, &MqttPublisher::OnDisconnect);
    mosquitto_publish_callback_set(m_client, &MqttPublisher::OnPublish);
    mosquitto_message_callback_set(m_client, &MqttPublisher::OnMessage);
    m_dropNow = false;
    m_connectStarted = Clock::now();
    const int rc = mosquitto_connect_async(m_client, m_config.login.url.host.c_str(),
                                           m_config.login.url.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        Drop(Link::Unreachable, MqttErrorText(rc));
    }
}

void MqttPublisher::Drop(Link why, const std::string& reason) {
    if (m_client != nullptr) {
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
    // A result in flight on the old connection is sent again on the next one: the broker may
    // have had it, so a subscriber may see it twice, with the same id.
    m_inFlight.clear();
    m_lastSentSeq = 0;
    m_offlineMid = -1;
    m_sayOnline = false;
    m_sweeping = false;
    m_sweepDone = false;
    m_retainedSlots.clear();
    const bool wasConnected = m_connected;
    m_connected = false;
    Show(wasConnected && why == Link::Unreachable ? Link::Lost : why, reason);
    m_nextAttempt = Clock::now() + m_config.retryInterval;
    std::lock_guard lock(m_mutex);
    m_resultsWaiting = true;
    for (auto& [name, slot] : m_slots) {
        slot.pending = true;
    }
}

void MqttPublisher::OnConnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (rc != 0) {
        me->m_dropNow = true;
        me->m_dropWhy = IsLoginRefusal(rc) ? Link::Refused : Link::Unreachable;
        me->m_dropReason = MqttRefusalText(rc);
        return;
    }
    // "online" goes out from Run, after this turn of the loop: libmosquitto holds its callback
    // lock here, and publishing under it takes its locks in an order that can deadlock.
    me->m_connected = true;
    me->m_sayOnline = true;
    me->Show(Link::Connected, {});
}

void MqttPublisher::OnDisconnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (rc != 0 && !me->m_dropNow) {
        me->m_dropNow = true;
        me->m_dropWhy = me->m_connected ? Link::Lost : Link::Unreachable;
        me->m_dropReason = me->m_connected ? "the broker closed it" : "no answer";
    }
}

void MqttPublisher::OnPublish(mosquitto*, void* self, int mid) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (mid == me->m_offlineMid) {
        me->m_offlineAcked = true;
        return;
    }
    const auto it = me->m_inFlight.find(mid);
    if (it == me->m_inFlight.end()) {
        return;
    }
    me->m_spool->Acknowledge(it->second);
    me->m_inFlight.erase(it);
    me->m_compactDue = true;
    std::lock_guard lock(me->m_mutex);
    me->m_resultsWaiting = true;  // room for the next ones
}

// Which slots an earlier run left behind. Its retained info lists the slots it served, but an
// info can be missing (a run of a version without it, or one that crashed before sending it),
// while a stale slot is the one whose retained state is still there; so the station reads back
// both: its own info and every retained state under it, and clears the slots of either that it
// does not serve. When all of that has come is told without a timer: the broker sends what is
// retained when it takes the subscription, before it handles the info this station publishes
// next on the same connection, and it marks only those messages as retained; so the own info
// coming back unmarked ends the reading. Done on every connection: on a reconnection it finds
// this run's info and slots, and clears nothing.
void MqttPublisher::StartSweep() {
    const std::string states = "stavel/" + EncodeTopicLevel(m_config.station) + "/+/state";
    m_sweeping =
        mosquitto_subscribe(m_client, nullptr, m_infoTopic.c_str(), 1) == MOSQ_ERR_SUCCESS &&
        mosquitto_subscribe(m_client, nullptr, states.c_str(), 1) == MOSQ_ERR_SUCCESS;
    mosquitto_publish(m_client, nullptr, m_infoTopic.c_str(),
                      static_cast<int>(m_infoPayload.size()), m_infoPayload.data(), 1, true);
}

void MqttPublisher::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* me = static_cast<MqttPublisher*>(self);
    if (!me->m_sweeping || message->payloadlen <= 0) {
        return;
    }
    const std::string topic = message->topic;
    if (!message->retain) {
        me->m_sweepDone = me->m_sweepDone || topic == me->m_infoTopic;
        return;
    }
    if (topic == me->m_infoTopic) {
        const std::optional<StationInfo> earlier =
            ParseStationInfo(std::string(static_cast<const char*>(message->payload),
                                         static_cast<std::size_t>(message->payloadlen)));
        for (const StationSlot& slot : earlier ? earlier->slots : std::vector<StationSlot>()) {
            me->m_retainedSlots.insert(slot.label);
        }
    } else if (std::optional<std::string> slot = SlotOfStateTopic(me->m_config.station, topic)) {
        me->m_retainedSlots.insert(*slot);
    }
}

void MqttPublisher::ClearStaleSlots() {
    m_sweeping = false;
    m_sweepDone = false;
    const std::string states = "stavel/" + EncodeTopicLevel(m_config.station) + "/+/state";
    mosquitto_unsubscribe(m_client, nullptr, m_infoTopic.c_str());
    mosquitto_unsubscribe(m_client, nullptr, states.c_str());
    for (const std::string& slot : m_retainedSlots) {
        if (ListsSlot(m_config.info, slot)) {
            continue;
        }
        // An empty retained message is how MQTT forgets the retained one.
        for (const std::string& topic :
             {StateTopic(m_config.station, slot), ResultTopic(m_config.station, slot)}) {
            mosquitto_publish(m_client, nullptr, topic.c_str(), 0, nullptr, 1, true);
        }
    }
    m_retainedSlots.clear();
}

void MqttPublisher::SyncSpool() {
    if (Result<void> synced = m_spool->Sync(); !synced && m_config.say) {
        m_config.say("MQTT: the spool cannot be flushed to disk (" + synced.Failure().Describe() +
                     "); a power cut before the broker has the result loses it there");
    }
}

void MqttPublisher::Compact(bool now) {
    const Clock::time_point at = Clock::now();
    if (!m_compactDue ||
        (!now && m_spool->Size() > 0 && at - m_lastCompact < std::chrono::seconds(1))) {
        return;
    }
    m_compactDue = false;
    m_lastCompact = at;
    if (Result<void> compacted = m_spool->Compact(); !compacted && m_config.say) {
        m_config.say("MQTT: the spool cannot be rewritten (" + compacted.Failure().Describe() +
                     "); a restart may send a result again");
    }
}

void MqttPublisher::PublishDue() {
    const Clock::time_point now = Clock::now();
    std::vector<std::pair<std::string, SlotStatus>> states;
    bool results = false;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [name, slot] : m_slots) {
            if (slot.pending && now - slot.lastSent >= m_config.stateInterval) {
                slot.pending = false;
                slot.lastSent = now;
                states.emplace_back(name, slot.status);
            }
        }
        results = m_resultsWaiting;
        m_resultsWaiting = false;
    }
    for (const auto& [name, status] : states) {
        const std::string topic = StateTopic(m_config.station, name);
        const std::string payload = SlotStatusLine(status);
        mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), 1, true);
    }
    if (results && m_inFlight.size() < kMostInFlight) {
        // A backlog goes out a window at a time, as the broker acknowledges it.
        for (const ResultSpool::Entry& entry :
             m_spool->PendingAfter(m_lastSentSeq, kMostInFlight - m_inFlight.size())) {
            const std::string topic = ResultTopic(m_config.station, entry.slot);
            // The report's line without its line break: a message is one record.
            const int length = static_cast<int>(entry.line.size()) -
                               (!entry.line.empty() && entry.line.back() == '\n' ? 1 : 0);
            int mid = 0;
            if (mosquitto_publish(m_client, &mid, topic.c_str(), length, entry.line.data(), 1,
                                  false) != MOSQ_ERR_SUCCESS) {
                std::lock_guard lock(m_mutex);
                m_resultsWaiting = true;  // tried again on the next turn
                break;
            }
            m_inFlight[mid] = entry.seq;
            m_lastSentSeq = entry.seq;
        }
    }
}

void MqttPublisher::Run() {
    for (;;) {
        bool ending = false;
        Clock::time_point deadline;
        {
            std::unique_lock lock(m_mutex);
            ending = m_ending;
            deadline = m_deadline;
        }
        SyncSpool();
        const Clock::time_point now = Clock::now();
        if (ending && (!m_connected || now >= deadline || m_offlineAcked)) {
            break;
        }
        if (m_client == nullptr) {
            if (ending) {
                break;
            }
            if (now >= m_nextAttempt) {
                Connect();
            }
            if (m_client == nullptr) {
                WaitForNews(100);
                continue;
            }
        }
        if (m_connected) {
            if (m_sayOnline) {
                m_sayOnline = false;
                mosquitto_publish(m_client, nullptr, m_statusTopic.c_str(),
                                  static_cast<int>(std::strlen(kOnline)), kOnline, 1, true);
                StartSweep();
            }
            if (m_sweepDone) {
                ClearStaleSlots();
            }
            PublishDue();
            if (ending && m_offlineMid < 0 && m_inFlight.empty()) {
                bool statesLeft = false;
                {
                    std::lock_guard lock(m_mutex);
                    for (const auto& [name, slot] : m_slots) {
                        statesLeft = statesLeft || slot.pending;
                    }
                    statesLeft = statesLeft || m_resultsWaiting;
                }
                // "offline" goes last, but goes in any case before the grace runs out.
                const bool late = now + std::chrono::milliseconds(500) >= deadline;
                if ((!statesLeft && m_spool->Size() == 0) || late) {
                    mosquitto_publish(m_client, &m_offlineMid, m_statusTopic.c_str(),
                                      static_cast<int>(std::strlen(kOffline)), kOffline, 1, true);
                }
            }
        }
        const int rc = Turn();
        Compact(ending);
        if (!m_dropNow && !m_connected && Clock::now() - m_connectStarted > kConnectBound) {
            m_dropNow = true;
            m_dropWhy = Link::Unreachable;
            m_dropReason = "no answer within " + std::to_string(kConnectBound.count()) + " s";
        }
        if (m_dropNow) {
            Drop(m_dropWhy, m_dropReason);
        } else if (rc != MOSQ_ERR_SUCCESS) {
            const std::string reason = MqttErrorText(rc);
            Drop(m_connected ? Link::Lost : Link::Unreachable, reason);
        }
    }
    SyncSpool();
    Compact(true);
    if (m_client != nullptr) {
        // Without its "offline" acknowledged the connection is just closed, so that the broker
        // publishes the last will instead.
        if (m_connected && m_offlineAcked) {
            mosquitto_disconnect(m_client);
            mosquitto_loop(m_client, 50, 1);
        }
        mosquitto_destroy(m_client);
        m_client = nullptr;
    }
}
