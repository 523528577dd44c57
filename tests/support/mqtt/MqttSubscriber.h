#pragma once

// The test's own MQTT client: subscribes to stavel/# on the test's broker and keeps every
// message it receives, so that a test can wait for one and compare it.
//
// Threading rules: libmosquitto's thread fills the list; the test's thread reads it.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

struct MqttMessage {
    std::string topic;
    std::string payload;
    bool retained = false;
};

class MqttSubscriber {
  public:
    // Connects to 127.0.0.1:`port` and subscribes to `filter`; Connected() says whether it did.
    // With `sessionId`, a session the broker keeps while the subscriber is away (reconnecting by
    // itself): QoS 1 messages published meanwhile wait for it, also across a restart of a
    // broker that keeps its state.
    explicit MqttSubscriber(int port, const std::string& filter = "stavel/#",
                            const std::string& sessionId = {});
    ~MqttSubscriber();

    bool Connected() const { return m_subscribed; }
    // The messages `topic` has carried so far.
    std::vector<MqttMessage> On(const std::string& topic) const;
    // Waits until `topic` has carried at least `count` messages.
    bool WaitForCount(const std::string& topic, std::size_t count,
                      std::chrono::milliseconds deadline = std::chrono::seconds(20));

  private:
    static void OnMessage(mosquitto*, void* self, const struct mosquitto_message* message);
    static void OnSubscribe(mosquitto*, void* self, int, int, const int*);

    mosquitto* m_client = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<MqttMessage> m_messages;
    bool m_subscribed = false;
    bool m_refused = false;
};
