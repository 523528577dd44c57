#pragma once

// A station's line to the factory's MQTT broker. Three calls carry everything: the station
// started or ended, a slot's state changed, a box's record is final. None of them waits for the
// network: they hand their news to the publisher's own thread and return (a final record is
// first written to the spool, which that thread then flushes to disk).
//
// What goes out:
//   stavel/<station>/status        "online" retained while running; "offline" retained at a
//                                  clean end, and as the broker's last will otherwise
//   stavel/<station>/info          retained JSON (StationInfo.h): the slots, version, start
//   stavel/<station>/<slot>/state  retained JSON (download/SlotStatusCodec.h), at most once a
//                                  second a slot
//   stavel/<station>/<slot>/result QoS 1, not retained: the report's line, id included
// A result leaves the spool only once the broker has acknowledged it; after a reconnection (or
// a restart, which finds the spool again) whatever waits is sent again, oldest first, so a
// subscriber may see a result twice and tells by its id. On each connection the station also
// clears the retained state of the slots an earlier run served and this one does not.
//
// A broker that is away, refuses the login or drops the connection is said once per change, by
// `say`, and tried again every few seconds.
//
// Threading rules: every public member may be called from any thread; `say` is called on the
// publisher's thread, and once by StationEnded.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "download/SlotStatusCodec.h"
#include "mqtt/MqttClient.h"
#include "mqtt/ResultSpool.h"
#include "mqtt/StationInfo.h"
#include "platform/base/UniqueFd.h"

struct mosquitto;
struct mosquitto_message;

class MqttPublisher {
  public:
    using Clock = std::chrono::steady_clock;

    struct Config {
        MqttLogin login;
        std::string station;
        StationInfo info;  // its station is `station`
        std::unique_ptr<ResultSpool> spool;
        std::function<void(const std::string&)> say;  // one line, without the program's name
        std::chrono::milliseconds stateInterval{1000};
        std::chrono::milliseconds retryInterval{2000};
    };

    explicit MqttPublisher(Config config);
    ~MqttPublisher();  // StationEnded, when it has not been called
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Starts the thread: connects, says "online", sends what the spool holds.
    void StationStarted();
    void SlotChanged(const std::string& slot, const SlotStatus& status);
    // `line` is the record exactly as the report has it, ending in "\n".
    void RecordFinal(const std::string& slot, const std::string& line);
    // Sends the last states and results and "offline" while the broker is there, for at most
    // `grace`; then ends the thread. What is not acknowledged stays in the spool, and `say`
    // tells how much waits there for the next run.
    void StationEnded(std::chrono::milliseconds grace = std::chrono::seconds(3));

    const std::string& SpoolPath() const { return m_spool->Path(); }

  private:
    enum class Link { Starting, Connected, Unreachable, Refused, Lost };
    struct Slot {
        SlotStatus status;
        bool pending = false;
        Clock::time_point lastSent{};
    };

    void Run();
    // One turn of the network loop: waits for the socket or Wake, at most kTurnMs.
    int Turn();
    // The one way news reaches the publisher's thread: Wake writes the eventfd, and both Turn
    // and WaitForNews (while there is no connection) poll it.
    void Wake();
    void WaitForNews(int milliseconds);
    void Connect();
    void Drop(Link why, const std::string& reason);
    void PublishDue();
    // Drops what the broker acknowledged from the spool's file: at once when it is empty (or
    // `now`), else at most once a second.
    void Compact(bool now);
    void SyncSpool();
    void Show(Link link, const std::string& reason);

    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
    // Subscribes to what the station left retained, then publishes its info.
    void StartSweep();
    void ClearStaleSlots();

    Config m_config;
    std::unique_ptr<ResultSpool> m_spool;
    const std::string m_statusTopic;
    const std::string m_infoTopic;
    const std::string m_infoPayload;
    const UniqueFd m_wakeFd;  // an eventfd: news for the publisher's thread

    std::mutex m_mutex;
    std::map<std::string, Slot> m_slots;
    bool m_resultsWaiting = true;
    bool m_ending = false;
    Clock::time_point m_deadline{};
    std::thread m_thread;

    // The publisher's thread only.
    mosquitto* m_client = nullptr;
    bool m_connected = false;
    bool m_sayOnline = false;
    bool m_dropNow = false;
    Link m_dropWhy = Link::Lost;
    std::string m_dropReason;
    Clock::time_point m_nextAttempt{};
    Clock::time_point m_connectStarted{};
    std::uint64_t m_lastSentSeq = 0;
    std::map<int, std::uint64_t> m_inFlight;  // message id -> spool entry
    int m_offlineMid = -1;
    bool m_compactDue = false;
    Clock::time_point m_lastCompact{};
    bool m_offlineAcked = false;
    bool m_sweeping = false;                // reading back what the station left retained
    bool m_sweepDone = false;               // the station's own info came back: all of it has come
    std::set<std::string> m_retainedSlots;  // slots with something retained, this run's or not
    Link m_shown = Link::Starting;
    std::string m_shownReason;
};
