#include "board/BoardWatch.h"

#include <malloc.h>

#include <cstdio>
#include <filesystem>

#include "board/BoardServer.h"
#include "board/BoardService.h"
#include "board/BoardToken.h"
#include "board/RecordKeySet.h"
#include "mqtt/MqttWatch.h"
#include "mqtt/StateFolder.h"

std::string BoardSessionId(const std::string& host, const std::string& historyPath) {
    std::error_code ignored;
    const std::string absolute = std::filesystem::absolute(historyPath, ignored).string();
    char text[40];
    std::snprintf(text, sizeof text, "stavel-board-%016llx",
                  static_cast<unsigned long long>(RecordKeySet::KeyOf(host + "\n" + absolute)));
    return text;
}

int RunBoardWatch(const BoardOptions& options, const MqttLogin& login,
                  const std::vector<std::string>& stations,
                  const std::function<void(const std::string&)>& say) {
    constexpr int kCannotStart = 2;
    // Each of the board's many threads builds a large answer now and then (the line's snapshot,
    // a page's first frame), and glibc would keep a heap per thread that never shrinks: a line
    // of 3,000 stations measured 1.2 GB after three rounds of 30 pages opening at once, and
    // 185 MB with two heaps, at no cost in speed that the line's bench could see.
    mallopt(M_ARENA_MAX, 2);
    std::optional<std::string> token;
    if (options.tokenFile) {
        Result<std::string> read = ReadBoardToken(*options.tokenFile);
        if (!read) {
            say("board: " + read.Failure().Describe());
            return kCannotStart;
        }
        token = *read;
    }
    BoardService::Config config;
    config.historyPath = options.history.value_or("");
    config.streams.mostStreams = static_cast<std::size_t>(options.maxClients);
    config.say = say;
    Result<std::unique_ptr<BoardService>> service = BoardService::Open(std::move(config));
    if (!service) {
        say("board: " + service.Failure().Describe());
        return kCannotStart;
    }
    BoardServer server({*options.http, token}, **service);
    if (Result<void> started = server.Start(); !started) {
        say("board: " + started.Failure().Describe());
        return kCannotStart;
    }
    say("board: serving the line's board at " + options.http->Url() +
        (token ? " (open it once as " + options.http->Url() + "?token=TOKEN)" : "") +
        (options.history ? "; " + std::to_string((*service)->HistorySize()) +
                               " results of history from " + *options.history
                         : ""));
    WatchHooks hooks;
    hooks.sessionId = options.history ? BoardSessionId(HostName(), *options.history) : "";
    BoardService& board = **service;
    hooks.onMessage = [&board](const std::string& topic, const std::string& payload) {
        board.OnMessage(topic, payload);
    };
    hooks.onLink = [&board](bool connected, const std::string& text) {
        board.OnLink(connected, text);
    };
    const int status = RunWatch(login, stations, say, hooks);
    server.Stop();
    return status;
}
