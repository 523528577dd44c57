#include "tests/support/mqtt/MqttSubscriber.h"

#include <mosquitto.h>

#include <algorithm>

MqttSubscriber::MqttSubscriber(int port, const std::string& filter, const std::string& sessionId) {
    mosquitto_lib_init();
    m_client = sessionId.empty() ? mosquitto_new(nullptr, true, this)
                                 : mosquitto_new(sessionId.c_str(), false, this);
    mosquitto_message_callback_set(m_client, &MqttSubscriber::OnMessage);
    mosquitto_subscribe_callback_set(m_client, &MqttSubscriber::OnSubscribe);
    mosquitto_connect_callback_set(m_client, [](mosquitto*, void* self, int rc) {
        auto* me = static_cast<MqttSubscriber*>(self);
        std::lock_guard lock(me->m_mutex);
        me->m_refused = rc != 0;
        me->m_changed.notify_all();
    });
    if (mosquitto_connect(m_client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
        return;
    }
    mosquitto_subscribe(m_client, nullptr, filter.c_str(), 1);
    mosquitto_loop_start(m_client);
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_subscribed || m_refused; });
}

MqttSubscriber::~MqttSubscriber() {
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, true);
    mosquitto_destroy(m_client);
}

void MqttSubscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* me = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(me->m_mutex);
    me->m_subscribed = true;
    me->m_changed.notify_all();
}

void MqttSubscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* me = static_cast<MqttSubscriber*>(self);
    std::lock_guard lock(me->m_mutex);
    me->m_messages.push_back({message->topic,
                              std::string(static_cast<const char*>(message->payload),
                                          static_cast<std::size_t>(message->payloadlen)),
                              message->retain});
    me->m_changed.notify_all();
}

std::vector<MqttMessage> MqttSubscriber::On(const std::string& topic) const {
    std::lock_guard lock(m_mutex);
    std::vector<MqttMessage> found;
    for (const MqttMessage& message : m_messages) {
        if (message.topic == topic) {
            found.push_back(message);
        }
    }
    return found;
}

bool MqttSubscriber::WaitForCount(const std::string& topic, std::size_t count,
                                  std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, deadline, [&] {
        return std::count_if(m_messages.begin(), m_messages.end(), [&](const MqttMessage& m) {
                   return m.topic == topic;
               }) >= static_cast<std::ptrdiff_t>(count);
    });
}
