#pragma once

// `stavel --watch URL`: subscribes to every station on the broker (or to the named ones) and
// shows them, live on a terminal, or one line per result on a pipe. Runs until a signal;
// reconnects by itself, saying each change of the broker's state once on `say`.

#include <functional>
#include <string>
#include <vector>

#include "mqtt/MqttClient.h"

// What else listens to the watch (the line's board in a browser).
struct WatchHooks {
    // A fixed client id for a session the broker keeps (MqttClient.h), so that the results
    // published while the watch is away wait for it. Results are then subscribed with QoS 1 and
    // the rest (status, info, states: retained, sent again on every subscription) with QoS 0,
    // so that a busy line's states never crowd the waiting results out of the broker's queue.
    // Empty: a clean session of a new id on each connection.
    std::string sessionId;
    // Every message, on the watch's thread.
    std::function<void(const std::string& topic, const std::string& payload)> onMessage;
    // Each change of the broker's state, as said on `say`, and whether the watch is connected.
    std::function<void(bool connected, const std::string& text)> onLink;
};

// Answers the exit status (128 + the signal that ended it).
int RunWatch(const MqttLogin& login, const std::vector<std::string>& stations,
             const std::function<void(const std::string&)>& say, const WatchHooks& hooks = {});

// Any thread: ends RunWatch with `signo`'s status. Without a watch running it does nothing.
void StopWatch(int signo);
