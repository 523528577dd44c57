#pragma once

// A station's publisher as every host starts it: the broker's login (the password from its
// file or STAVEL_MQTT_PASSWORD), the spool beside the report for what the broker has not taken,
// and the station's info with its start time and the image's SHA-256.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mqtt/MqttPublisher.h"

Result<MqttLogin> MqttLoginFor(const MqttUrl& url, const std::optional<std::string>& passwordFile,
                               const std::optional<std::string>& caFile);

struct PublisherStart {
    MqttUrl url;
    std::optional<std::string> passwordFile;
    std::optional<std::string> caFile;
    std::string reportPath;
    StationInfo info;  // its start time is filled in here, and the image's hash when not given
    std::function<void(const std::string&)> say;
};

struct PublisherStarted {
    std::unique_ptr<MqttPublisher> publisher;  // null when it could not start:
    bool spoolFailed = false;                  // the spool, else the password
    SysFailure failure;
};

PublisherStarted StartPublisher(PublisherStart start);
