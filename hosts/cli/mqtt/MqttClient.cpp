#include "hosts/cli/mqtt/MqttClient.h"

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

mosquitto* NewMqttClient(const MqttLogin& login, const std::string& clientId, void* owner,
                         std::string* error) {
    InitLibrary();
    mosquitto* client = mosquitto_new(clientId.c_str(), true, owner);
    if (client == nullptr) {
        *error = std::string("the MQTT client cannot be made: ") + std::strerror(errno);
        return nullptr;
    }
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!login.url.user.empty()) {
        const int rc = mosquitto_username_pw_set(
            client, login.url.user.c_str(), login.password ? login.password->c_str() : nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = "the MQTT login cannot be set: " + MqttErrorText(rc);
            mosquitto_destroy(client);
            return nullptr;
        }
    }
    if (login.url.tls) {
        const int rc = mosquitto_tls_set(
            client, login.caFile.empty() ? nullptr : login.caFile.c_str(),
            login.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = "TLS cannot be set up with the CA file '" + login.caFile +
                     "': " + MqttErrorText(rc);
            mosquitto_destroy(client);
            return nullptr;
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

bool ReadMqttPassword(const std::optional<std::string>& file, std::optional<std::string>* password,
                      std::string* error) {
    if (const char* fromEnvironment = std::getenv("STAVEL_MQTT_PASSWORD")) {
        *password = std::string(fromEnvironment);
        return true;
    }
    if (!file) {
        password->reset();
        return true;
    }
    std::ifstream in(*file);
    if (!in) {
        *error = "the MQTT password file cannot be read: " + *file + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    *password = line;
    return true;
}
