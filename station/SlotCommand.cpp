#include "station/SlotCommand.h"

std::vector<std::string> SlotArguments(const SlotOptions& o, const SlotLaunch& launch) {
    const std::string port =
        launch.label == launch.port ? launch.port : launch.label + "=" + launch.port;
    std::vector<std::string> args{"--port",  port,          "--image",
                                  o.image,   "--ini",       launch.ini,
                                  "--quiet", "--events-fd", std::to_string(launch.eventsFd)};
    const auto add = [&args](bool when, const std::string& arg) {
        if (when) {
            args.push_back(arg);
        }
    };
    add(launch.number > 0, "--slot-number=" + std::to_string(launch.number));
    add(o.debug, "--debug");
    add(o.loop, "--loop");
    add(o.loop && launch.boxes > 0, "--count=" + std::to_string(launch.boxes));
    add(true, "--timeout=" + std::to_string(o.timeoutSeconds));
    add(o.logDir.has_value(), "--log-dir=" + o.logDir.value_or(""));
    add(o.logDir && o.timestamps, "--timestamps");
    add(o.boxId.has_value(), "--box-id=" + o.boxId.value_or(""));
    add(o.sha256.has_value(), "--sha256=" + o.sha256.value_or(""));
    add(o.captureDir.has_value(), "--capture=" + o.captureDir.value_or(""));
    add(o.captureDir.has_value(), "--capture-max=" + std::to_string(o.captureMax));
    return args;
}
