#pragma once

// What the publisher and --watch share about talking to the broker: libmosquitto's set-up once
// per process, a client made from the URL and the login, and how the broker's answers read.

#include <optional>
#include <string>

#include "mqtt/MqttUrl.h"
#include "platform/base/Result.h"

struct mosquitto;

struct MqttLogin {
    MqttUrl url;
    std::optional<std::string> password;  // never shown
    std::string caFile;                   // mqtts: the certificate authority to trust
};

// Clean: the broker forgets the client when it goes. Kept: the broker keeps its subscriptions
// and holds the QoS 1 messages published while it is away, for the next connection with the
// same client id.
enum class MqttSession { Clean, Kept };

// A new client with the login and TLS set.
Result<mosquitto*> NewMqttClient(const MqttLogin& login, const std::string& clientId, void* owner,
                                 MqttSession session = MqttSession::Clean);

// "stavel-<pid>-<random>": unique per run, so two runs never push each other off the broker.
std::string UniqueClientId();

// libmosquitto's code as words ("Connection refused", "not authorised").
std::string MqttErrorText(int rc);
std::string MqttRefusalText(int connackCode);
// A refusal that trying again will not cure (a bad login), as against a broker that is away.
bool IsLoginRefusal(int connackCode);

// The password from STAVEL_MQTT_PASSWORD, else from the first line of `file` when given.
// Empty when neither; fails when the file cannot be read.
Result<std::optional<std::string>> ReadMqttPassword(const std::optional<std::string>& file);
