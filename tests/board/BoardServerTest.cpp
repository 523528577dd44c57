// The board's HTTP side on 127.0.0.1, as a browser and a script meet it: the page and its
// policy, the snapshot, the event stream, the history; the token and its cookie; the most open
// pages and the 503 past them; and a page that never reads, which must not hold the board back.

#include "board/BoardServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "board/BoardPage.h"
#include "tests/board/BoardTestData.h"

namespace {

using namespace std::chrono_literals;

// A plain TCP client, for what a library client hides: a stream read as it comes, and a peer
// that never reads.
class RawClient {
  public:
    explicit RawClient(int port, int receiveBuffer = 0) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        if (receiveBuffer > 0) {
            setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { close(m_fd); }

    void Get(const std::string& path) {
        const std::string request =
            "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/event-stream\r\n\r\n";
        ASSERT_TRUE(m_connected);
        ASSERT_EQ(send(m_fd, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
    }
    // Reads until what came holds `text`; false when the peer closed first, or after 20 s.
    bool ReadUntil(const std::string& text) {
        for (int turn = 0; turn < 200 && m_seen.find(text) == std::string::npos; ++turn) {
            pollfd ready{m_fd, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) {
                continue;
            }
            char buffer[65536];
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                return false;
            }
            m_seen.append(buffer, static_cast<std::size_t>(n));
            turn = 0;
        }
        return m_seen.find(text) != std::string::npos;
    }
    const std::string& Seen() const { return m_seen; }

  private:
    int m_fd;
    bool m_connected = false;
    std::string m_seen;
};

std::unique_ptr<BoardService> Service(std::size_t mostStreams = 64,
                                      std::size_t mostQueuedBytes = 1 << 20) {
    BoardService::Config config;
    config.streams = {mostStreams, mostQueuedBytes};
    Result<std::unique_ptr<BoardService>> service = BoardService::Open(std::move(config));
    return service ? std::move(*service) : nullptr;
}

BoardServer::Config Local(std::optional<std::string> token = {}) {
    BoardServer::Config config;
    config.bind.port = 0;
    config.token = std::move(token);
    config.peerTimeout = 1s;
    config.keepAlive = 300ms;
    return config;
}

// Waits for `done`, at most 20 s.
template <typename Done>
bool Eventually(Done done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

TEST(BoardServerTest, ServesThePageTheSnapshotTheHistoryAndEachChangeAsAnEvent) {
    std::unique_ptr<BoardService> board = Service();
    ASSERT_TRUE(board);
    BoardServer server(Local(), *board);
    ASSERT_TRUE(server.Start());
    httplib::Client browser("127.0.0.1", server.Port());

    const httplib::Result page = browser.Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find(R"(<script src="board.js")"), std::string::npos);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("script-src 'self';"),
              std::string::npos);
    const httplib::Result script = browser.Get("/board.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->body, kBoardJs);
    // The page puts the broker's texts in as text; no markup is ever parsed from data.
    for (const char* parse : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write"}) {
        EXPECT_EQ(script->body.find(parse), std::string::npos) << parse;
    }

    board->OnMessage("stavel/line7/status", "online");
    const httplib::Result stations = browser.Get("/api/stations");
    ASSERT_TRUE(stations);
    EXPECT_EQ(stations->body, *board->Snapshot());
    EXPECT_NE(stations->body.find(R"("name":"line7","online":true)"), std::string::npos);

    RawClient page1(server.Port());
    page1.Get("/events");
    ASSERT_TRUE(page1.ReadUntil("event: snapshot\ndata: {")) << page1.Seen();
    EXPECT_NE(page1.Seen().find("Content-Type: text/event-stream"), std::string::npos);
    board->OnMessage(
        "stavel/line7/A3/result",
        RecordPayload("id-1", "pass", IsoTimeOfMillis(std::time(nullptr) * 1000LL), 41));
    ASSERT_TRUE(page1.ReadUntil("event: result\ndata: {\"id\":\"id-1\"")) << page1.Seen();
    ASSERT_TRUE(page1.ReadUntil(": still here")) << "a quiet stream says it is there";

    const httplib::Result history = browser.Get("/api/history?range=24h&station=line7");
    ASSERT_TRUE(history);
    const Json plot = ParseJsonObject(history->body).value_or(Json::object());
    EXPECT_EQ(plot["bins"].size(), 24u * 4 + 1) << history->body;
    EXPECT_EQ(JsonLine(plot["slots"]), R"([["A3",1,0]])");

    // Without a token, only a request made to this machine by name is answered.
    const httplib::Result rebound = browser.Get("/api/stations", {{"Host", "board.example:80"}});
    ASSERT_TRUE(rebound);
    EXPECT_EQ(rebound->status, 421);
}

TEST(BoardServerTest, TheTokenIsGivenOnceInTheAddressThenKeptInACookie) {
    std::unique_ptr<BoardService> board = Service();
    ASSERT_TRUE(board);
    const std::string token = "Zq3uW8fNc1Lr5Tb2Hy7k";
    BoardServer server(Local(token), *board);
    ASSERT_TRUE(server.Start());
    httplib::Client browser("127.0.0.1", server.Port());
    EXPECT_EQ(browser.Get("/")->status, 401);
    EXPECT_EQ(browser.Get("/events")->status, 401);
    EXPECT_EQ(browser.Get("/?token=" + token.substr(1))->status, 401);
    EXPECT_EQ(browser.Get("/", {{"Cookie", "stavel_board=" + token + "x"}})->status, 401);

    const httplib::Result given = browser.Get("/?token=" + token);
    ASSERT_TRUE(given);
    EXPECT_EQ(given->status, 303);
    EXPECT_EQ(given->get_header_value("Location"), "/") << "the token leaves the address bar";
    const std::string cookie = given->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie.rfind("stavel_board=" + token + ";", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos) << cookie;
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos) << cookie;

    const httplib::Headers kept{{"Cookie", "theme=dark; stavel_board=" + token}};
    EXPECT_EQ(browser.Get("/", kept)->status, 200);
    EXPECT_EQ(browser.Get("/api/stations", kept)->status, 200);
    EXPECT_EQ(browser.Get("/api/stations?token=" + token)->status, 200) << "a script's way";

    // A token with '+' in it (base64 of 24 bytes makes one in two): typed as it is, the address's
    // query turns the
    // '+' into a space; written %2B it stays '+'. Both let the browser in, and its cookie holds
    // the token itself; a space where the token has no '+' does not.
    const std::string plus = "Zq3u+8fNc1Lr5Tb2Hy7k/A9xPq+Lm0Ws";
    BoardServer second(Local(plus), *board);
    ASSERT_TRUE(second.Start());
    httplib::Client other("127.0.0.1", second.Port());
    other.set_url_encode(false);  // as a browser sends what was typed
    for (const std::string& typed : {plus, std::string("Zq3u%2B8fNc1Lr5Tb2Hy7k%2FA9xPq%2BLm0Ws")}) {
        const httplib::Result in = other.Get("/?token=" + typed);
        ASSERT_TRUE(in);
        EXPECT_EQ(in->status, 303) << typed;
        EXPECT_EQ(in->get_header_value("Set-Cookie").rfind("stavel_board=" + plus + ";", 0), 0u);
    }
    EXPECT_EQ(other.Get("/?token=Zq3u+8fNc1Lr5Tb2Hy7k/A9xPq+Lm0W%20")->status, 401);
}

TEST(BoardServerTest, PastItsMostOpenPagesTheBoardAnswers503AndStillServesTheRest) {
    std::unique_ptr<BoardService> board = Service(2);
    ASSERT_TRUE(board);
    BoardServer server(Local(), *board);
    ASSERT_TRUE(server.Start());
    auto first = std::make_unique<RawClient>(server.Port());
    RawClient second(server.Port());
    first->Get("/events");
    second.Get("/events");
    ASSERT_TRUE(first->ReadUntil("event: snapshot"));
    ASSERT_TRUE(second.ReadUntil("event: snapshot"));

    RawClient third(server.Port());
    third.Get("/events");
    EXPECT_FALSE(third.ReadUntil("event: snapshot"));
    EXPECT_EQ(third.Seen().rfind("HTTP/1.1 503 ", 0), 0u) << third.Seen();
    EXPECT_NE(third.Seen().find("Retry-After: 10"), std::string::npos) << third.Seen();
    httplib::Client browser("127.0.0.1", server.Port());
    for (int i = 0; i < 12; ++i) {  // more than the spare threads, one after another
        EXPECT_EQ(browser.Get("/api/stations")->status, 200);
    }

    // A page closed frees its place once its stream notices.
    first.reset();
    ASSERT_TRUE(Eventually([&] { return board->Hub().Streams() == 1; }));
    RawClient again(server.Port());
    again.Get("/events");
    EXPECT_TRUE(again.ReadUntil("event: snapshot")) << again.Seen();
}

TEST(BoardServerTest, APageThatNeverReadsIsCutOffWithoutHoldingBackTheBoardOrOtherPages) {
    std::unique_ptr<BoardService> board = Service(64, 256 * 1024);
    ASSERT_TRUE(board);
    BoardServer server(Local(), *board);
    ASSERT_TRUE(server.Start());
    RawClient stuck(server.Port(), 4096);
    stuck.Get("/events");
    RawClient reader(server.Port());
    reader.Get("/events");
    ASSERT_TRUE(reader.ReadUntil("event: snapshot"));
    std::atomic<bool> done{false};
    std::thread reading([&] { done = reader.ReadUntil("final-station"); });

    // About 8 MB of events, each a station listing 60 slots with long port names; each station
    // a new one, so that no event makes a waiting one stale.
    Json slots = Json::array();
    for (int i = 0; i < 60; ++i) {
        slots.push_back({{"label", "S" + std::to_string(i)}, {"port", std::string(120, 'p')}});
    }
    for (int i = 0; i < 800; ++i) {
        board->OnMessage("stavel/busy-" + std::to_string(i) + "/info",
                         JsonLine(Json{{"slots", slots}, {"version", std::to_string(i)}}));
        std::this_thread::sleep_for(1ms);  // a pace the reading page can keep
    }
    board->OnMessage("stavel/final-station/status", "online");
    reading.join();
    EXPECT_TRUE(done) << "the reading page got every event";
    EXPECT_GE(board->Hub().Dropped(), 1u);
    EXPECT_TRUE(Eventually([&] { return board->Hub().Streams() == 1; }))
        << "the stuck page's thread is free again";
}

}  // namespace
