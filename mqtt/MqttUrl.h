#pragma once

// Where the broker is: mqtt://[user@]host[:port] (1883 by default) or mqtts://[user@]host[:port]
// (8883 by default, TLS). The password never comes from the URL, so that it stays out of the
// process list and the shell's history.

#include <optional>
#include <string>

#include "platform/base/Result.h"

struct MqttUrl {
    bool tls = false;
    std::string host;
    int port = 0;
    std::string user;  // empty: no login
};

// Fails with why the URL was refused (one line).
Result<MqttUrl> ParseMqttUrl(const std::string& text);

// "mqtt://host:1883", as the operator reads it in messages (no user, never a password).
std::string ShownBroker(const MqttUrl& url);
