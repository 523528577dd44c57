// Thirty-two slots publish to a Mosquitto broker on 127.0.0.1 (started here, on a free port):
// each slot's state changes 30 times a second (a box asking for blocks), and each slot ends a
// box every few seconds. Prints the process's CPU for all of it (the publisher's thread and the
// calls into it) as a share of one core, and the p50 / p99 / max time from RecordFinal to a
// subscriber in another process receiving the result.
//
//   bench_mqtt [seconds=20] [slots=32] [box-seconds=4]

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/stats/Percentile.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttUrl.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/mqtt/MqttBroker.h"

namespace {

using Clock = std::chrono::steady_clock;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The subscriber's process: prints one latency in nanoseconds per result, until `expected`.
[[noreturn]] void Subscribe(int port, int expected, int out) {
    mosquitto_lib_init();
    struct State {
        int out;
        int left;
    } state{out, expected};
    mosquitto* client = mosquitto_new(nullptr, true, &state);
    mosquitto_message_callback_set(client, [](mosquitto*, void* self, const mosquitto_message* m) {
        auto* s = static_cast<State*>(self);
        const std::string payload(static_cast<const char*>(m->payload), m->payloadlen);
        const auto at = payload.find("\"t_ns\":");
        if (at == std::string::npos) {
            return;
        }
        const long long sent = std::atoll(payload.c_str() + at + 7);
        const std::string line = std::to_string(NowNs() - sent) + "\n";
        (void)!write(s->out, line.data(), line.size());
        --s->left;
    });
    // Forked before the broker starts (the bench has no other thread yet): waits for it.
    int tries = 0;
    while (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
        if (++tries == 400) {
            _exit(1);
        }
        usleep(25000);
    }
    mosquitto_subscribe(client, nullptr, "stavel/+/+/result", 1);
    const auto until = Clock::now() + std::chrono::seconds(600);
    while (state.left > 0 && Clock::now() < until) {
        mosquitto_loop(client, 100, 1);
    }
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
    const int slots = argc > 2 ? std::atoi(argv[2]) : 32;
    const int boxSeconds = argc > 3 ? std::atoi(argv[3]) : 4;
    TempDir folder;
    MqttBroker::Options options;
    options.folder = folder.Path();
    MqttBroker broker(options);
    const int port = broker.Port();
    const int results = slots * (seconds / boxSeconds);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return 1;
    }
    const pid_t subscriber = fork();
    if (subscriber == 0) {
        close(pipeFds[0]);
        Subscribe(port, results, pipeFds[1]);
    }
    close(pipeFds[1]);
    if (!broker.Start()) {
        std::fprintf(stderr, "bench_mqtt: the broker did not start:\n%s\n", broker.Log().c_str());
        kill(subscriber, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // subscribed

    MqttPublisher::Config pc;
    pc.login.url = *ParseMqttUrl("mqtt://127.0.0.1:" + std::to_string(port));
    pc.station = "bench";
    pc.spool = std::move(*ResultSpool::Open(folder.File("report.jsonl.mqtt-spool")));
    pc.say = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    const double cpuBefore = CpuSeconds();
    const auto started = Clock::now();
    {
        MqttPublisher publisher(std::move(pc));
        publisher.StationStarted();
        // A record as long as a real one (about 480 bytes).
        const std::string padding(400, 'x');
        int sent = 0;
        std::vector<double> keeping;  // ms in RecordFinal, on the caller: the spool's write
        const auto tick = std::chrono::milliseconds(1000 / 30);
        auto next = Clock::now();
        for (int step = 0; sent < results; ++step) {
            const double boxTime = std::chrono::duration<double>(tick * step).count();
            for (int s = 0; s < slots; ++s) {
                // Slots are out of step with each other, as on a real line.
                const double phase =
                    std::fmod(boxTime + s * boxSeconds / double(slots), boxSeconds);
                SlotStatus status;
                status.state = SlotState::Loading;
                status.figures.percent = static_cast<int>(phase * 100 / boxSeconds);
                status.figures.rate = 11520;
                status.figures.etaSeconds = boxSeconds - phase;
                status.passes = step;
                publisher.SlotChanged("/dev/ttyUSB" + std::to_string(s), status);
                if (phase < std::chrono::duration<double>(tick).count() && step > 0 &&
                    sent < results) {
                    const auto before = Clock::now();
                    publisher.RecordFinal("/dev/ttyUSB" + std::to_string(s),
                                          "{\"id\":\"bench-" + std::to_string(sent) +
                                              "\",\"t_ns\":" + std::to_string(NowNs()) +
                                              ",\"pad\":\"" + padding + "\"}\n");
                    keeping.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - before).count());
                    ++sent;
                }
            }
            next += tick;
            std::this_thread::sleep_until(next);
        }
        publisher.StationEnded();
        if (!keeping.empty()) {
            std::printf("RecordFinal on the calling thread ms: p50 %.2f  p99 %.2f\n",
                        Percentile(keeping, 0.5), Percentile(keeping, 0.99));
        }
    }
    const double wall = std::chrono::duration<double>(Clock::now() - started).count();
    const double cpu = CpuSeconds() - cpuBefore;

    std::vector<double> latencies;
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, n);
        if (static_cast<int>(std::count(text.begin(), text.end(), '\n')) >= results) {
            break;
        }
    }
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
        latencies.push_back(std::atof(text.substr(at, end - at).c_str()) / 1e6);
    }
    std::printf("slots %d, %.1f s, %d results sent, %zu received\n", slots, wall, results,
                latencies.size());
    std::printf("MQTT CPU: %.3f s in %.1f s = %.2f %% of one core\n", cpu, wall, 100 * cpu / wall);
    std::printf("result latency ms: p50 %.2f  p99 %.2f  max %.2f\n", Percentile(latencies, 0.5),
                Percentile(latencies, 0.99), Percentile(latencies, 1.0));
    kill(subscriber, SIGTERM);
    waitpid(subscriber, nullptr, 0);
    return 0;
}
