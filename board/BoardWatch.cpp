#include "board/BoardWatch.h"

#include <malloc.h>

#include <cstdio>
#include <filesystem>

#include "board/BoardServer.h"
#include "board/BoardService.h"
#include "board/BoardToken.h"
#include "mqtt/MqttWatch.h"
#include "mqtt/StateFolder.h"

namespace {

// FNV-1a with a final mix: the same session id as boards before the database had, so that an
// upgraded board finds the results its broker session kept.
std::uint64_t KeyOf(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdULL;
    hash ^= hash >> 33;
    return hash == 0 ? 1 : hash;
}

}  // namespace

std::string BoardSessionId(const std::string& host, const std::string& historyPath) {
    std::error_code ignored;
    const std::string absolute =
        historyPath.rfind("sqlite:", 0) == 0 || historyPath.rfind("postgres", 0) == 0
            ? historyPath
            : std::filesystem::absolute(historyPath, ignored).string();
    char text[40];
    std::snprintf(text, sizeof text, "stavel-board-%016llx",
                  static_cast<unsigned long long>(KeyOf(host + "\n" + absolute)));
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
    // --history FILE is the database FILE.db, into which FILE's older history is read once.
    if (options.history) {
        config.db = "sqlite:" + *options.history + ".db";
        config.importFrom = *options.history;
    } else if (options.db) {
        config.db = *options.db;
        if (Result<StoreUrl> url = ParseStoreUrl(*options.db);
            url && url->kind == StoreUrl::Kind::Sqlite) {
            std::error_code ignored;
            config.db = "sqlite:" + std::filesystem::absolute(url->target, ignored).string();
        }
    }
    config.keepMs = options.keepDays * 24LL * 3600 * 1000;
    // A board that keeps its history reads the broker through a session of its own, which the
    // broker keeps while the board is down.
    const std::string sessionId = options.history ? BoardSessionId(HostName(), *options.history)
                                  : options.db    ? BoardSessionId(HostName(), config.db)
                                                  : "";
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
    const std::optional<std::int64_t> kept =
        options.history || options.db ? (*service)->HistorySize() : std::nullopt;
    say("board: serving the line's board at " + options.http->Url() +
        (token ? " (open it once as " + options.http->Url() + "?token=TOKEN)" : "") +
        (kept ? "; " + std::to_string(*kept) + " results of history in " + (*service)->Shown()
              : ""));
    WatchHooks hooks;
    hooks.sessionId = sessionId;
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
