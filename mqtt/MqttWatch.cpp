#include "mqtt/MqttWatch.h"

#include <mosquitto.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "mqtt/TopicName.h"
#include "mqtt/WatchBoard.h"
#include "platform/base/LocalClock.h"
#include "platform/host/ConsoleOutput.h"

namespace {

std::atomic<int> g_stopSignal{0};

struct Watcher {
    WatchBoard board;
    const WatchHooks* hooks = nullptr;
    std::vector<std::string> topics;
    bool terminal = false;
    bool connected = false;
    bool subscribe = false;
    bool dropNow = false;
    std::string dropReason;
    bool loginRefused = false;
};

void OnConnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<Watcher*>(self);
    if (rc != 0) {
        me->dropNow = true;
        me->loginRefused = IsLoginRefusal(rc);
        me->dropReason = MqttRefusalText(rc);
        return;
    }
    // Subscribed from the loop, after this turn: not under libmosquitto's callback lock.
    me->connected = true;
    me->subscribe = true;
}

void OnDisconnect(mosquitto*, void* self, int rc) {
    auto* me = static_cast<Watcher*>(self);
    if (rc != 0 && !me->dropNow) {
        me->dropNow = true;
        me->dropReason = me->connected ? "the broker closed the connection" : "no answer";
    }
}

// "13:02:11 ": a line on a pipe says when it happened, in the time of the one reading it.
std::string ClockStamp() {
    return LocalClock(std::time(nullptr)) + " ";
}

void OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* me = static_cast<Watcher*>(self);
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<std::size_t>(message->payloadlen));
    const std::vector<std::string> lines = me->board.OnMessage(message->topic, payload);
    if (me->hooks->onMessage) {
        me->hooks->onMessage(message->topic, payload);
    }
    if (!me->terminal) {
        for (const std::string& line : lines) {
            WriteStdout(ClockStamp() + line + "\n");
        }
    }
}

}  // namespace

void StopWatch(int signo) {
    g_stopSignal = signo;
}

int RunWatch(const MqttLogin& login, const std::vector<std::string>& stations,
             const std::function<void(const std::string&)>& say, const WatchHooks& hooks) {
    Watcher watcher;
    watcher.hooks = &hooks;
    watcher.board.SayDropsOn(say);
    watcher.terminal = isatty(STDOUT_FILENO) == 1;
    if (stations.empty()) {
        watcher.topics = {"stavel/+/status", "stavel/+/info", "stavel/+/+/state",
                          "stavel/+/+/result"};
    }
    for (const std::string& station : stations) {
        const std::string level = "stavel/" + EncodeTopicLevel(station);
        watcher.topics.insert(watcher.topics.end(), {level + "/status", level + "/info",
                                                     level + "/+/state", level + "/+/result"});
    }
    const std::string broker = ShownBroker(login.url);
    std::string shown;  // the last thing said of the broker
    const auto tell = [&](const std::string& line, bool up) {
        if (line != shown) {
            shown = line;
            say(line);
            if (hooks.onLink) {
                hooks.onLink(up, line);
            }
        }
    };
    using Clock = std::chrono::steady_clock;
    mosquitto* client = nullptr;
    Clock::time_point nextAttempt{};
    Clock::time_point nextDraw{};
    while (g_stopSignal == 0) {
        const Clock::time_point now = Clock::now();
        if (client == nullptr && now >= nextAttempt) {
            const bool kept = !hooks.sessionId.empty();
            Result<mosquitto*> made =
                NewMqttClient(login, kept ? hooks.sessionId : UniqueClientId(), &watcher,
                              kept ? MqttSession::Kept : MqttSession::Clean);
            if (!made) {
                say(made.Failure().Describe());
                return 2;
            }
            client = *made;
            mosquitto_connect_callback_set(client, OnConnect);
            mosquitto_disconnect_callback_set(client, OnDisconnect);
            mosquitto_message_callback_set(client, OnMessage);
            watcher.dropNow = false;
            watcher.connected = false;
            const int rc =
                mosquitto_connect_async(client, login.url.host.c_str(), login.url.port, 10);
            if (rc != MOSQ_ERR_SUCCESS) {
                watcher.dropNow = true;
                watcher.dropReason = MqttErrorText(rc);
            }
        }
        if (client == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        const bool wasConnected = watcher.connected;
        const int rc = watcher.dropNow ? MOSQ_ERR_SUCCESS : mosquitto_loop(client, 100, 1);
        if (!wasConnected && watcher.connected) {
            tell("MQTT: watching " + broker, true);
        }
        if (watcher.subscribe && !watcher.dropNow) {
            watcher.subscribe = false;
            for (const std::string& topic : watcher.topics) {
                const bool result = topic.ends_with("/result");
                const int qos = hooks.sessionId.empty() || result ? 1 : 0;
                mosquitto_subscribe(client, nullptr, topic.c_str(), qos);
            }
        }
        if (rc != MOSQ_ERR_SUCCESS && !watcher.dropNow) {
            watcher.dropNow = true;
            watcher.dropReason = MqttErrorText(rc);
        }
        if (watcher.dropNow) {
            if (watcher.loginRefused) {
                tell("MQTT: " + broker + " refused the login: " + watcher.dropReason +
                         "; check the user in the URL and the password (STAVEL_MQTT_PASSWORD or "
                         "--mqtt-password-file)",
                     false);
            } else {
                tell(std::string("MQTT: ") + (watcher.connected ? "lost " : "cannot reach ") +
                         broker + ": " + watcher.dropReason + "; trying again",
                     false);
            }
            mosquitto_destroy(client);
            client = nullptr;
            watcher.connected = false;
            watcher.loginRefused = false;
            nextAttempt = Clock::now() + std::chrono::seconds(2);
        }
        if (watcher.terminal && watcher.board.Changed() && Clock::now() >= nextDraw) {
            // Home, clear, the whole table: a few dozen rows, redrawn at most once a second.
            WriteStdout("\x1b[H\x1b[2J" + watcher.board.Table());
            watcher.board.Drawn();
            nextDraw = Clock::now() + std::chrono::seconds(1);
        }
    }
    if (client != nullptr) {
        mosquitto_disconnect(client);
        mosquitto_destroy(client);
    }
    return 128 + g_stopSignal.load();
}
