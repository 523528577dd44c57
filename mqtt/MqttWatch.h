#pragma once

// `stavel --watch URL`: subscribes to every station on the broker (or to the named ones) and
// shows them, live on a terminal, or one line per result on a pipe. Runs until a signal;
// reconnects by itself, saying each change of the broker's state once on `say`.

#include <functional>
#include <string>
#include <vector>

#include "mqtt/MqttClient.h"

// Answers the exit status (128 + the signal that ended it).
int RunWatch(const MqttLogin& login, const std::vector<std::string>& stations,
             const std::function<void(const std::string&)>& say);

// Any thread: ends RunWatch with `signo`'s status. Without a watch running it does nothing.
void StopWatch(int signo);
