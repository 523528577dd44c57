// The line's board under a whole line: 50 stations of 16 slots publish to a Mosquitto broker on
// 127.0.0.1 (started here), and `stavel --watch URL --http PORT` (the real program, started
// here) serves 50 open pages, each an event stream read here. Prints, for the board's process:
//   - the delay from a result's publishing to its event reaching each page (p50, p99, max), in
//     the steady phase (every slot's state once a second, each slot a box every `box-seconds`)
//     and when all 800 slots end a box at the same moment;
//   - its CPU as a share of one core, and its memory (resident now and at its peak).
// With `history N`, instead: the memory and plot time of N results in the board's history (its
// database, filled in bulk).
//
// With `memory`, instead: a line of N stations x 16 slots whose info and states the broker
// keeps, and `streams` pages that open at once, read for 6 s and go, `rounds` times: the board's
// memory after each round and once the pages have gone.
//
//   bench_board [seconds=30] [box-seconds=8]
//   bench_board history [N=1000000]
//   bench_board memory [stations=3000] [streams=30] [rounds=3]

#include <arpa/inet.h>
#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/stats/Percentile.h"
#include "board/BoardService.h"
#include "board/HistoryResult.h"
#include "download/SlotStatusCodec.h"
#include "record/BoxRecordCodec.h"
#include "record/Json.h"
#include "store/RecordStore.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/mqtt/MqttBroker.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kStations = 50;
constexpr int kSlots = 16;
constexpr int kPages = 50;

// A box's record as a station publishes it: the whole line, as the board must read it.
std::string RecordPayload(const std::string& id, bool fail, long long endMs,
                          const std::optional<std::string>& boxId) {
    BoxRecord r;
    r.id = id;
    r.slot = "S1";
    r.device = "/dev/ttyUSB0";
    r.result = fail ? BoxResult::Fail : BoxResult::Pass;
    r.reason = fail ? "box silent for 120 s" : "";
    r.end = std::chrono::system_clock::time_point(std::chrono::milliseconds(endMs));
    r.start = r.end - std::chrono::milliseconds(41500);
    r.seconds = 41.5;
    r.bytes = 8388608;
    r.requests = 2048;
    r.coverage = 1;
    r.coverageSent = 1;
    r.image = "/srv/line/fw-2.4.sdl";
    r.imageSize = 8388608;
    r.imageSha256 = std::string(64, 'a');
    r.made = RecordProvenance{"1.0.0.1", "line-pc", "line", "Ann", "fw-2.4"};
    r.boxId = boxId;
    r.reasonCode = fail ? "box-silent" : "passed";
    std::string line = BoxRecordLine(r);
    line.pop_back();
    return line;
}

long long NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

// The process's CPU seconds (user + system) and resident and peak memory, from /proc.
struct Usage {
    double cpuSeconds = 0;
    long rssKb = 0;
    long peakKb = 0;
};

Usage UsageOf(pid_t pid) {
    Usage usage;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) {
            usage.cpuSeconds += std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
        }
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            usage.rssKb = std::atol(line.c_str() + 6);
        } else if (line.rfind("VmHWM:", 0) == 0) {
            usage.peakKb = std::atol(line.c_str() + 6);
        }
    }
    return usage;
}

long SelfRssKb() {
    return UsageOf(getpid()).rssKb;
}

// A GET of `path` on the board at 127.0.0.1:`port`, sent on a connection of its own, whose
// descriptor is answered; a board that cannot be reached ends the bench.
int Request(int port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    (void)!write(fd, request.data(), request.size());
    return fd;
}

// The pages: raw event streams, all read by one thread, each result's arrival noted.
class Pages {
  public:
    explicit Pages(int port) {
        for (int i = 0; i < kPages; ++i) {
            m_fds.push_back(Request(port, "/events"));
            m_buffers.emplace_back();
        }
        m_reader = std::thread([this] { Read(); });
    }
    ~Pages() {
        m_stop = true;
        m_reader.join();
        for (const int fd : m_fds) {
            close(fd);
        }
    }
    // Arrival times of the result `id` so far, one per page that had it.
    std::vector<long long> Arrivals(const std::string& id) {
        std::lock_guard lock(m_mutex);
        return m_arrivals[id];
    }
    void Forget() {
        std::lock_guard lock(m_mutex);
        m_arrivals.clear();
    }

  private:
    void Read() {
        std::vector<pollfd> fds;
        for (const int fd : m_fds) {
            fds.push_back({fd, POLLIN, 0});
        }
        char chunk[65536];
        while (!m_stop) {
            if (poll(fds.data(), fds.size(), 100) <= 0) {
                continue;
            }
            const long long now = NowUs();
            for (std::size_t i = 0; i < fds.size(); ++i) {
                if ((fds[i].revents & POLLIN) == 0) {
                    continue;
                }
                const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
                if (n <= 0) {
                    fds[i].fd = -1;
                    continue;
                }
                std::string& buffer = m_buffers[i];
                buffer.append(chunk, static_cast<std::size_t>(n));
                Take(buffer, now);
            }
        }
    }
    void Take(std::string& buffer, long long now) {
        static const std::string kResult = "event: result\ndata: {\"id\":\"";
        std::size_t at = 0;
        for (;;) {
            const std::size_t found = buffer.find(kResult, at);
            const std::size_t end =
                found == std::string::npos ? found : buffer.find('"', found + kResult.size());
            if (end == std::string::npos) {
                break;
            }
            const std::string id =
                buffer.substr(found + kResult.size(), end - found - kResult.size());
            {
                std::lock_guard lock(m_mutex);
                m_arrivals[id].push_back(now);
            }
            at = end;
        }
        // What was taken goes; of the rest (states), a tail long enough for an event's start.
        buffer.erase(0, at);
        if (buffer.size() > 65536) {
            buffer.erase(0, buffer.size() - 4096);
        }
    }

    std::vector<int> m_fds;
    std::vector<std::string> m_buffers;
    std::mutex m_mutex;
    std::map<std::string, std::vector<long long>> m_arrivals;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

long long UnixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The line: one MQTT client per station, each on a network thread of its own.
class Line {
  public:
    explicit Line(int port) {
        mosquitto_lib_init();
        for (int s = 0; s < kStations; ++s) {
            mosquitto* client = mosquitto_new(nullptr, true, nullptr);
            if (mosquitto_connect(client, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS) {
                std::fprintf(stderr, "cannot connect station %d\n", s);
                std::exit(1);
            }
            mosquitto_loop_start(client);
            m_clients.push_back(client);
            Publish(s, "stavel/line-" + std::to_string(s) + "/status", "online", true);
            Json slots = Json::array();
            for (int k = 0; k < kSlots; ++k) {
                slots.push_back({{"label", "S" + std::to_string(k)},
                                 {"port", "/dev/serial/by-path/pci-usb-0:" + std::to_string(k)}});
            }
            Publish(s, "stavel/line-" + std::to_string(s) + "/info",
                    JsonLine(Json{{"station", "line-" + std::to_string(s)},
                                  {"version", "1.0.0.1"},
                                  {"slots", slots},
                                  {"job", "fw-2.4"},
                                  {"operator", "Ann"},
                                  {"image", "/srv/fw-2.4.sdl"}}),
                    true);
        }
    }
    ~Line() {
        for (mosquitto* client : m_clients) {
            mosquitto_disconnect(client);
            mosquitto_loop_stop(client, false);
            mosquitto_destroy(client);
        }
    }
    void Publish(int station, const std::string& topic, const std::string& payload,
                 bool retain = false, int qos = 1) {
        mosquitto_publish(m_clients[station], nullptr, topic.c_str(),
                          static_cast<int>(payload.size()), payload.data(), qos, retain);
    }
    void State(int station, int slot, int percent, int passes) {
        SlotStatus status;
        status.state = SlotState::Loading;
        status.figures.percent = percent;
        status.figures.rate = 11520;
        status.figures.etaSeconds = 40;
        status.passes = passes;
        Publish(station,
                "stavel/line-" + std::to_string(station) + "/S" + std::to_string(slot) + "/state",
                SlotStatusLine(status), true);
    }
    // Publishes a result and answers its id and the time it was published.
    std::pair<std::string, long long> Result(int station, int slot, long long n) {
        const std::string id = "bench-" + std::to_string(station) + "-" + std::to_string(slot) +
                               "-" + std::to_string(n);
        const bool fail = n % 20 == 7;
        const std::string payload = RecordPayload(id, fail, UnixMs(), "SN" + std::to_string(n));
        const long long at = NowUs();
        Publish(station,
                "stavel/line-" + std::to_string(station) + "/S" + std::to_string(slot) + "/result",
                payload);
        return {id, at};
    }

  private:
    std::vector<mosquitto*> m_clients;
};

void PrintDelays(const char* phase, Pages& pages,
                 const std::vector<std::pair<std::string, long long>>& sent) {
    std::vector<double> delays;
    std::size_t missing = 0;
    for (const auto& [id, at] : sent) {
        const std::vector<long long> arrivals = pages.Arrivals(id);
        missing += kPages - std::min<std::size_t>(arrivals.size(), kPages);
        for (const long long arrival : arrivals) {
            delays.push_back((arrival - at) / 1000.0);
        }
    }
    std::printf(
        "%s: %zu results x %d pages: delay ms p50 %.1f  p99 %.1f  max %.1f  (missing %zu)\n", phase,
        sent.size(), kPages, Percentile(delays, 0.5), Percentile(delays, 0.99),
        Percentile(delays, 1.0), missing);
}

int BenchLine(int seconds, int boxSeconds) {
    TempDir folder;
    MqttBroker::Options options;
    options.folder = folder.Path();
    MqttBroker broker(options);
    if (!broker.Start()) {
        std::fprintf(stderr, "the broker did not start:\n%s\n", broker.Log().c_str());
        return 1;
    }
    const int http = FreeLocalPort();
    const std::string program = std::string(STAVEL_BINARY_DIR) + "/bin/stavel";
    const pid_t board = fork();
    if (board == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::string history = folder.File("history.jsonl");
        const std::string port = std::to_string(http);
        execl(program.c_str(), "stavel", "--watch", broker.Url().c_str(), "--http", port.c_str(),
              "--history", history.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Line line(broker.Port());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Pages pages(http);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const Usage idle = UsageOf(board);
    std::printf("board with %d stations x %d slots and %d pages open, idle: RSS %ld kB\n",
                kStations, kSlots, kPages, idle.rssKb);

    // Steady: each slot's state once a second; each slot ends a box every `boxSeconds`.
    std::vector<std::pair<std::string, long long>> sent;
    const Usage before = UsageOf(board);
    const auto start = Clock::now();
    long long n = 0;
    for (int tick = 0; tick < seconds * 10; ++tick) {
        const int part = tick % 10;  // a tenth of the slots each 100 ms
        for (int s = 0; s < kStations; ++s) {
            for (int k = 0; k < kSlots; ++k) {
                if ((s * kSlots + k) % 10 != part) {
                    continue;
                }
                line.State(s, k, (tick / 10) % 100, tick / 10);
                if (((tick / 10) + s + k) % boxSeconds == 0) {
                    sent.push_back(line.Result(s, k, ++n));
                }
            }
        }
        std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * (tick + 1)));
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const Usage after = UsageOf(board);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "steady %d s: %zu results, %d states/s: board CPU %.1f%% of a core, RSS %ld kB "
        "(peak %ld kB)\n",
        seconds, sent.size(), kStations * kSlots,
        100 * (after.cpuSeconds - before.cpuSeconds) / wall, after.rssKb, after.peakKb);
    PrintDelays("steady", pages, sent);

    // Every slot ends a box at once.
    pages.Forget();
    sent.clear();
    for (int s = 0; s < kStations; ++s) {
        for (int k = 0; k < kSlots; ++k) {
            sent.push_back(line.Result(s, k, ++n));
        }
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));
    PrintDelays("burst of 800", pages, sent);
    const Usage end = UsageOf(board);
    std::printf("board at the end: RSS %ld kB, peak %ld kB\n", end.rssKb, end.peakKb);
    kill(board, SIGTERM);
    waitpid(board, nullptr, 0);
    return 0;
}

// N results of the last 6 days in the board's database, filled in bulk by a child process (so
// that the filling's memory is not the board's), then the board opened on it: its memory, its
// plots without the plot cache, and the database's size.
int BenchHistory(long count) {
    TempDir folder;
    const std::string db = "sqlite:" + folder.File("board.db");
    const long long now = UnixMs();
    const auto began = Clock::now();
    const pid_t filler = fork();
    if (filler == 0) {
        auto store = RecordStore::Open(*ParseStoreUrl(db));
        if (!store) {
            std::fprintf(stderr, "%s\n", store.Failure().Describe().c_str());
            _exit(1);
        }
        std::vector<StoredRecord> batch;
        for (long i = 0; i < count; ++i) {
            const int station = static_cast<int>(i % kStations);
            const int slot = static_cast<int>((i / kStations) % kSlots);
            const long long end =
                now - 6LL * 24 * 3600 * 1000 + i * (6LL * 24 * 3600 * 1000 / count);
            std::optional<StoredRecord> record = StoredRecordOf(
                JsonLine(Json{{"id", "3f2a9c1e-5b7d-4e8a-9c01-" + std::to_string(100000000000 + i)},
                              {"result", i % 20 == 7 ? "fail" : "pass"},
                              {"reason", i % 20 == 7 ? "box silent for 120 s" : ""},
                              {"reason_code", i % 20 == 7 ? "box-silent" : "passed"},
                              {"end", IsoTimeOfMillis(end)},
                              {"seconds", 41.5}}),
                "line-" + std::to_string(station), "S" + std::to_string(slot));
            batch.push_back(std::move(*record));
            if (batch.size() == 100000 || i + 1 == count) {
                if (!(*store)->Put(batch)) {
                    _exit(1);
                }
                batch.clear();
            }
        }
        _exit(0);
    }
    int status = 0;
    waitpid(filler, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return 1;
    }
    std::printf("%ld results filled in bulk in %.1f s\n", count,
                std::chrono::duration<double>(Clock::now() - began).count());
    const long startKb = SelfRssKb();
    BoardService::Config config;
    config.db = db;
    // Ten seconds later at each look: no plot comes from the cache.
    config.now = [at = now]() mutable { return at += 10'000; };
    const auto opening = Clock::now();
    auto service = BoardService::Open(config);
    if (!service) {
        std::fprintf(stderr, "%s\n", service.Failure().Describe().c_str());
        return 1;
    }
    std::printf("board opened in %.0f ms (%lld results)\n",
                std::chrono::duration<double, std::milli>(Clock::now() - opening).count(),
                static_cast<long long>((*service)->HistorySize().value_or(-1)));
    // Each plot five times (every look is ten seconds later: never from the plot cache); the
    // median of the five.
    const auto median = [&](int hours, const std::string& station, const std::string& slot,
                            std::size_t& bytes) {
        std::vector<double> times;
        for (int k = 0; k < 5; ++k) {
            const auto at = Clock::now();
            bytes = (*service)->Plot(hours, station, slot).size();
            times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - at).count());
        }
        std::sort(times.begin(), times.end());
        return times[2];
    };
    for (const int hours : {8, 24, 168}) {
        std::size_t bytes = 0;
        const double line = median(hours, "", "", bytes);
        std::size_t ignored = 0;
        const double station = median(hours, "line-7", "", ignored);
        const double slot = median(hours, "line-7", "S3", ignored);
        std::printf(
            "plot over %3d h (with its Pareto): line %.1f ms, one station %.1f ms, one "
            "slot %.1f ms (%zu bytes)\n",
            hours, line, station, slot, bytes);
    }
    const long fullKb = SelfRssKb();
    std::printf("the board's memory for its history: %ld MB more than before it opened\n",
                (fullKb - startKb) / 1024);
    long bytes = 0;
    for (const char* part : {"", "-wal"}) {
        std::ifstream in(folder.File("board.db") + part, std::ios::binary | std::ios::ate);
        bytes += in ? static_cast<long>(in.tellg()) : 0;
    }
    std::printf("database on disk: %ld MB\n", bytes / (1024 * 1024));
    return 0;
}

// `count` raw event streams that read whatever comes for `seconds`, then close.
void ReadStreams(int port, int count, int seconds) {
    std::vector<pollfd> fds;
    for (int i = 0; i < count; ++i) {
        fds.push_back({Request(port, "/events"), POLLIN, 0});
    }
    char chunk[65536];
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        if (poll(fds.data(), fds.size(), 100) <= 0) {
            continue;
        }
        for (pollfd& p : fds) {
            if ((p.revents & POLLIN) != 0 && read(p.fd, chunk, sizeof chunk) <= 0) {
                p.fd = -p.fd - 1;  // ended: polled no more, closed below
            }
        }
    }
    for (const pollfd& p : fds) {
        close(p.fd >= 0 ? p.fd : -p.fd - 1);
    }
}

// The size of the answer to /api/stations.
std::size_t SnapshotBytes(int port) {
    const int fd = Request(port, "/api/stations");
    std::size_t total = 0;
    char chunk[65536];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
        total += static_cast<std::size_t>(n);
    }
    close(fd);
    return total;
}

int BenchMemory(int stations, int streams, int rounds) {
    TempDir folder;
    MqttBroker::Options options;
    options.folder = folder.Path();
    options.unboundedQueues = true;
    MqttBroker broker(options);
    if (!broker.Start()) {
        std::fprintf(stderr, "the broker did not start:\n%s\n", broker.Log().c_str());
        return 1;
    }
    // The line's retained info and states, published once and kept by the broker.
    mosquitto_lib_init();
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", broker.Port(), 30) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "cannot connect\n");
        return 1;
    }
    mosquitto_loop_start(client);
    const auto publish = [client](const std::string& topic, const std::string& payload) {
        while (mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), 1, true) == MOSQ_ERR_NOMEM) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    for (int s = 0; s < stations; ++s) {
        const std::string station = "line-" + std::to_string(s);
        Json slots = Json::array();
        for (int k = 0; k < kSlots; ++k) {
            slots.push_back({{"label", "S" + std::to_string(k)},
                             {"port", "/dev/serial/by-path/pci-usb-0:" + std::to_string(k)}});
            publish("stavel/" + station + "/S" + std::to_string(k) + "/state",
                    JsonLine(Json{{"state", "loading"},
                                  {"percent", k * 6},
                                  {"rate", 11520},
                                  {"eta", 40},
                                  {"passes", s},
                                  {"fails", k},
                                  {"aborts", 0}}));
        }
        publish("stavel/" + station + "/status", "online");
        publish("stavel/" + station + "/info", JsonLine(Json{{"station", station},
                                                             {"version", "1.0.0.1"},
                                                             {"slots", slots},
                                                             {"job", "fw-2.4"},
                                                             {"operator", "Ann"},
                                                             {"image", "/srv/fw-2.4.sdl"}}));
    }
    // Until the broker has every message: the client's queue empties.
    std::this_thread::sleep_for(std::chrono::seconds(10));
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);

    const int http = FreeLocalPort();
    const std::string program = std::string(STAVEL_BINARY_DIR) + "/bin/stavel";
    const pid_t board = fork();
    if (board == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::string port = std::to_string(http);
        execl(program.c_str(), "stavel", "--watch", broker.Url().c_str(), "--http", port.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Until the board holds the whole line: its snapshot stops growing.
    std::size_t size = 0;
    for (std::size_t last = 1; size != last;) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        last = size;
        size = SnapshotBytes(http);
    }
    std::printf("board with %d stations x %d slots retained (/api/stations %zu kB): RSS %ld kB\n",
                stations, kSlots, size / 1024, UsageOf(board).rssKb);
    for (int round = 1; round <= rounds; ++round) {
        ReadStreams(http, streams, 6);
        const Usage usage = UsageOf(board);
        std::printf("after round %d of %d streams for 6 s: RSS %ld kB, peak %ld kB\n", round,
                    streams, usage.rssKb, usage.peakKb);
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::printf("2 s after the pages went: RSS %ld kB\n", UsageOf(board).rssKb);
    kill(board, SIGTERM);
    waitpid(board, nullptr, 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc > 1 && std::string(argv[1]) == "history") {
        return BenchHistory(argc > 2 ? std::atol(argv[2]) : 1000000);
    }
    if (argc > 1 && std::string(argv[1]) == "memory") {
        return BenchMemory(argc > 2 ? std::atoi(argv[2]) : 3000, argc > 3 ? std::atoi(argv[3]) : 30,
                           argc > 4 ? std::atoi(argv[4]) : 3);
    }
    return BenchLine(argc > 1 ? std::atoi(argv[1]) : 30, argc > 2 ? std::atoi(argv[2]) : 8);
}
