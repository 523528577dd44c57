#include "hosts/wxstation/StationBroker.h"

#include "mqtt/ResultSpool.h"
#include "mqtt/StateFolder.h"
#include "record/BoxRecordJson.h"

Result<StationBroker> ConnectBroker(const StationSetup& setup, const StationConfig& config,
                                    std::function<void(const std::string&)> say) {
    const Job& job = setup.job;
    if (!job.mqtt || !config.report) {
        return StationBroker{};
    }
    Result<std::optional<std::string>> password = ReadMqttPassword(job.mqttPasswordFile);
    if (!password) {
        return password.Failure();
    }
    Result<std::unique_ptr<ResultSpool>> spool = ResultSpool::Open(SpoolPathFor(*config.report));
    if (!spool) {
        return Refusal("", "the MQTT spool cannot be kept: " + spool.Failure().Describe());
    }
    MqttPublisher::Config broker;
    broker.login.url = *ParseMqttUrl(*job.mqtt);  // checked when the job was read
    if (*password && !(*password)->empty()) {
        broker.login.password = *password;
    }
    broker.login.caFile = job.mqttCa.value_or(std::string());
    broker.station = config.made.station.value_or(HostName());
    broker.info.version = config.made.toolVersion;
    broker.info.started = IsoUtcMillis(std::chrono::system_clock::now());
    for (const JobSlot& slot : job.slots) {
        broker.info.slots.push_back({slot.label, slot.port});
    }
    broker.info.job = config.made.job;
    broker.info.operatorName = config.made.operatorName;
    broker.info.image = job.image;
    if (!setup.imageSha256.empty()) {
        broker.info.imageSha256 = setup.imageSha256;
    }
    broker.spool = std::move(*spool);
    broker.say = std::move(say);
    StationBroker made;
    made.publisher = std::make_unique<MqttPublisher>(std::move(broker));
    made.news = std::make_unique<StationPublisher>(*made.publisher);
    return made;
}
