#include "hosts/wxstation/StationBroker.h"

#include "mqtt/PublisherStart.h"
#include "mqtt/StateFolder.h"

Result<StationBroker> ConnectBroker(const StationSetup& setup, const StationConfig& config,
                                    std::function<void(const std::string&)> say) {
    const Job& job = setup.job;
    if (!job.mqtt || !config.report) {
        return StationBroker{};
    }
    // The URL was checked when the job was read.
    PublisherStart start{
        *ParseMqttUrl(*job.mqtt), job.mqttPasswordFile, job.mqttCa, *config.report, {}, {}};
    start.info.station = config.made.station.value_or(HostName());
    start.info.version = config.made.toolVersion;
    for (const JobSlot& slot : job.slots) {
        start.info.slots.push_back({slot.label, slot.port});
    }
    start.info.job = config.made.job;
    start.info.operatorName = config.made.operatorName;
    start.info.image = job.image;
    if (!setup.imageSha256.empty()) {
        start.info.imageSha256 = setup.imageSha256;
    }
    start.say = std::move(say);
    PublisherStarted started = StartPublisher(std::move(start));
    if (!started.publisher) {
        return started.spoolFailed
                   ? Refusal("", "the MQTT spool cannot be kept: " + started.failure.Describe())
                   : started.failure;
    }
    StationBroker made;
    made.publisher = std::move(started.publisher);
    made.news = std::make_unique<StationPublisher>(*made.publisher);
    return made;
}
