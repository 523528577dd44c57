#pragma once

// A job that names a broker: the station's results and slot states go to it as the command
// line's station sends them, with results the broker has not taken kept in a spool beside the
// report.

#include <functional>
#include <memory>
#include <optional>

#include "hosts/wxstation/StationSetup.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/StationPublisher.h"

struct StationBroker {
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<StationPublisher> news;  // what the supervisor tells, for the publisher
};

// Nothing to do without a broker in the job. Fails with the step at fault (the password, the
// spool). `say` hears the publisher's notes, from its thread.
Result<StationBroker> ConnectBroker(const StationSetup& setup, const StationConfig& config,
                                    std::function<void(const std::string&)> say);
