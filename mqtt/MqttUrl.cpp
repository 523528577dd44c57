#include "mqtt/MqttUrl.h"

#include <string_view>

namespace {

bool AllDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// A host name or an IPv4 address; an IPv6 address in brackets ("[::1]").
bool PlausibleHost(std::string_view host) {
    if (host.empty()) {
        return false;
    }
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == ':';
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

Result<MqttUrl> ParseMqttUrl(const std::string& text) {
    const std::string usage =
        "the MQTT broker is given as mqtt://host[:port] or mqtts://host[:port], not '" + text + "'";
    MqttUrl url;
    std::string_view rest = text;
    if (rest.starts_with("mqtt://")) {
        rest.remove_prefix(7);
        url.port = 1883;
    } else if (rest.starts_with("mqtts://")) {
        rest.remove_prefix(8);
        url.tls = true;
        url.port = 8883;
    } else {
        return Refusal("", usage);
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    if (rest.find_first_of("/?#") != std::string_view::npos) {
        return Refusal("", usage + " (a broker URL has no path)");
    }
    if (const auto at = rest.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = rest.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            return Refusal("",
                           "the MQTT URL may name a user but never a password: give it in "
                           "STAVEL_MQTT_PASSWORD or with --mqtt-password-file");
        }
        if (user.empty()) {
            return Refusal("", usage + " (the user before '@' is empty)");
        }
        url.user = std::string(user);
        rest.remove_prefix(at + 1);
    }
    std::string_view host = rest;
    std::string_view port;
    if (rest.starts_with("[")) {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return Refusal("", usage);
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (!after.starts_with(":")) {
                return Refusal("", usage);
            }
            port = after.substr(1);
            if (port.empty()) {
                return Refusal("", usage + " (the port after ':' is empty)");
            }
        }
    } else if (const auto colon = rest.rfind(':'); colon != std::string_view::npos) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty()) {
            return Refusal("", usage + " (the port after ':' is empty)");
        }
    }
    if (!PlausibleHost(host)) {
        return Refusal("", usage + " (no host name)");
    }
    if (!port.empty()) {
        if (!AllDigits(port) || port.size() > 5 || std::stoi(std::string(port)) < 1 ||
            std::stoi(std::string(port)) > 65535) {
            return Refusal("", "the MQTT port must be a number from 1 to 65535, not '" +
                                   std::string(port) + "'");
        }
        url.port = std::stoi(std::string(port));
    }
    url.host = std::string(host);
    return url;
}

std::string ShownBroker(const MqttUrl& url) {
    const bool v6 = url.host.find(':') != std::string::npos;
    return std::string(url.tls ? "mqtts://" : "mqtt://") + (v6 ? "[" : "") + url.host +
           (v6 ? "]" : "") + ":" + std::to_string(url.port);
}
