#include "mqtt/MqttClient.h"

#include <mosquitto.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        mosquitto_lib_init();
        std::atexit([] { mosquitto_lib_cleanup(); });
    });
}

}  // namespace

Result<mosquitto*> NewMqttClient(const MqttLogin& login, const std::string& clientId, void* owner,
                                 MqttSession session) {
    InitLibrary();
    mosquitto* client = mosquitto_new(clientId.c_str(), session == MqttSession::Clean, owner);
    if (client == nullptr) {
        return Refusal("", std::string("the MQTT client cannot be made: ") + std::strerror(errno));
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!login.url.user.empty()) {
        const int rc = mosquitto_username_pw_set(
            client, login.url.user.c_str(), login.password ? login.password->c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            const std::string why = "the MQTT login cannot be set: " + MqttErrorText(rc);
            mosquitto_destroy(client);
            return Refusal("", why);
        }
    }
    if (login.url.tls) {
        const int rc = mosquitto_tls_set(
            client, login.caFile.empty() ? nullptr : login.caFile.c_str(),
            login.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            const std::string why = "TLS cannot be set up with the CA file '" + login.caFile +
                                    "': " + MqttErrorText(rc);
            mosquitto_destroy(client);
            return Refusal("", why);
        }
    }
    return client;
}

std::string UniqueClientId() {
    std::random_device random;
    char text[64];
    std::snprintf(text, sizeof text, "stavel-%d-%08x", static_cast<int>(getpid()), random());
    return text;
}

std::string MqttErrorText(int rc) {
    if (rc == MOSQ_ERR_ERRNO) {
        return std::strerror(errno);
    }
    return mosquitto_strerror(rc);
}

std::string MqttRefusalText(int code) {
    return mosquitto_connack_string(code);
}

bool IsLoginRefusal(int code) {
    // 4: bad user name or password; 5: not authorised (MQTT 3.1.1).
    return code == 4 || code == 5;
}

Result<std::optional<std::string>> ReadMqttPassword(const std::optional<std::string>& file) {
    if (const char* fromEnvironment = std::getenv("STAVEL_MQTT_PASSWORD")) {
        return std::optional<std::string>(fromEnvironment);
    }
    if (!file) {
        return std::optional<std::string>();
    }
    std::ifstream in(*file);
    if (!in) {
        return Refusal(
            "", "the MQTT password file cannot be read: " + *file + ": " + std::strerror(errno));
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return std::optional<std::string>(line);
}
