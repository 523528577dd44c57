#include "mqtt/PublisherStart.h"

#include <fcntl.h>

#include <filesystem>

#include "mqtt/ResultSpool.h"
#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "record/BoxRecordCodec.h"

Result<MqttLogin> MqttLoginFor(const MqttUrl& url, const std::optional<std::string>& passwordFile,
                               const std::optional<std::string>& caFile) {
    Result<std::optional<std::string>> password = ReadMqttPassword(passwordFile);
    if (!password) {
        return password.Failure();
    }
    MqttLogin login;
    login.url = url;
    if (*password && !(*password)->empty()) {
        login.password = *password;
    }
    login.caFile = caFile.value_or(std::string());
    return login;
}

PublisherStarted StartPublisher(PublisherStart start) {
    Result<MqttLogin> login = MqttLoginFor(start.url, start.passwordFile, start.caFile);
    if (!login) {
        return {nullptr, false, login.Failure()};
    }
    Result<std::unique_ptr<ResultSpool>> spool = ResultSpool::Open(SpoolPathFor(start.reportPath));
    if (!spool) {
        return {nullptr, true, spool.Failure()};
    }
    MqttPublisher::Config config;
    config.login = *login;
    config.station = start.info.station;
    config.info = std::move(start.info);
    config.info.started = IsoUtcMillis(std::chrono::system_clock::now());
    if (config.info.image) {
        // Hashed once for the line's board; each box's record has the hash its START saw.
        const std::string image = *config.info.image;
        config.info.image = std::filesystem::absolute(image).string();
        if (config.info.imageSha256) {
            // Known already (checked against the job's): an image is not read twice for it.
        } else if (const UniqueFd fd(open(image.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)); fd) {
            const FileDigest digest = Sha256OfFile(fd.Get());
            if (!digest.hex.empty()) {
                config.info.imageSha256 = digest.hex;
            }
        }
    }
    config.spool = std::move(*spool);
    config.say = std::move(start.say);
    return {std::make_unique<MqttPublisher>(std::move(config)), false, {}};
}
