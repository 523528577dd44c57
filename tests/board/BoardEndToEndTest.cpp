// `stavel --watch URL --http PORT` as a line runs it, beside a real Mosquitto broker: its history
// outlives a restart and the time it was down, and hostile retained states neither bring it
// down nor keep it from starting again; and in a real browser (Debian's chromium, driven
// through python3-selenium) the tiles of a station served against simulated boxes turn PASS and
// FAIL, the failure's reason appears, and hostile names and reasons show as text.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "board/HistoryResult.h"
#include "mqtt/TopicName.h"
#include "tests/board/BoardTestData.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/mqtt/MqttBroker.h"
#include "tests/support/process/ChildProcess.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

using namespace std::chrono_literals;

// Publishes `payload` on `topic` with QoS 1 and waits for the broker's acknowledgement, as a
// station's publisher does.
void Publish(int port, const std::string& topic, const std::string& payload, bool retain = false) {
    bool acknowledged = false;
    mosquitto* client = mosquitto_new(nullptr, true, &acknowledged);
    mosquitto_publish_callback_set(
        client, [](mosquitto*, void* done, int) { *static_cast<bool*>(done) = true; });
    ASSERT_EQ(mosquitto_connect(client, "127.0.0.1", port, 10), MOSQ_ERR_SUCCESS);
    mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
    for (int i = 0; i < 200 && !acknowledged; ++i) {
        mosquitto_loop(client, 50, 1);
    }
    EXPECT_TRUE(acknowledged);
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
}

std::string MinutesAgo(int minutes) {
    return IsoTimeOfMillis((std::time(nullptr) - minutes * 60) * 1000LL);
}

// The boxes /api/history counts over the last 8 hours; -1 while the board does not answer.
int Boxes(int httpPort) {
    httplib::Client client("127.0.0.1", httpPort);
    const httplib::Result answer = client.Get("/api/history?range=8h");
    if (!answer || answer->status != 200) {
        return -1;
    }
    int boxes = 0;
    const Json plot = ParseJsonObject(answer->body).value_or(Json::object());
    for (const Json& row : plot.value("stations", Json::array())) {
        boxes += row[1].get<int>() + row[2].get<int>();
    }
    return boxes;
}

bool WaitForBoxes(int httpPort, int boxes) {
    for (int i = 0; i < 400 && Boxes(httpPort) != boxes; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    return Boxes(httpPort) == boxes;
}

// Waits until /api/stations lists a station named `name`.
bool WaitForStation(int httpPort, const std::string& name) {
    httplib::Client client("127.0.0.1", httpPort);
    const std::string named = JsonLine(Json{{"name", name}});
    for (int i = 0; i < 400; ++i) {
        const httplib::Result stations = client.Get("/api/stations");
        if (stations &&
            stations->body.find(named.substr(1, named.size() - 2)) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

TEST(BoardEndToEndTest, TheHistoryOutlivesARestartAndTheTimeTheBoardWasDownAndHostileStates) {
    TempDir dir;
    MqttBroker broker({dir.Path()});
    ASSERT_TRUE(broker.Start()) << broker.Log();
    // Retained before the board first starts, so that each start reads them first: a state
    // nested 100,000 deep (it once overflowed the stack of every reader), one of 2 MB, and
    // payloads of the wrong types throughout.
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    Publish(broker.Port(), "stavel/line7/A1/state", deep, true);
    Publish(broker.Port(), "stavel/line7/A2/state",
            R"({"state":"failed","hint":")" + std::string(2'000'000, 'h') + R"("})", true);
    Publish(broker.Port(), "stavel/line7/A3/state",
            R"({"state":[],"percent":"x","passes":1e300,"last":"no","port_problem":7,"schema":{}})",
            true);
    Publish(broker.Port(), "stavel/line7/info", R"({"slots":{"A1":[1]},"station":[],"job":7})",
            true);
    Publish(broker.Port(), "stavel/line7/A1/result", R"({"id":)" + deep + "}", true);
    const int http = FreeLocalPort();
    const std::vector<std::string> command{ProgramPath("stavel"),
                                           "--watch",
                                           broker.Url(),
                                           "--http",
                                           std::to_string(http),
                                           "--history",
                                           dir.File("history.jsonl")};
    auto board = std::make_unique<ChildProcess>(command);
    ASSERT_TRUE(board->WaitForStderr("MQTT: watching")) << board->Stderr();
    EXPECT_NE(board->Stderr().find("board: serving the line's board at http://127.0.0.1:" +
                                   std::to_string(http) + "/; 0 results of history in sqlite:"),
              std::string::npos)
        << board->Stderr();
    // Once the station's retained status shows, the board has subscribed.
    Publish(broker.Port(), "stavel/line7/status", "online", true);
    ASSERT_TRUE(WaitForStation(http, "line7"));
    // Said by the board's output thread, which may write it after the page shows the station.
    EXPECT_TRUE(
        board->WaitForStderr("MQTT: station 'line7' sent a state of slot 'A1' larger "
                             "than 1 MiB or nested deeper than 32: dropped"))
        << board->Stderr();
    const std::string topic = "stavel/line7/A1/result";
    Publish(broker.Port(), topic, RecordPayload("id-1", "pass", MinutesAgo(3), 30));
    Publish(broker.Port(), topic, RecordPayload("id-2", "fail", MinutesAgo(2), 9, "box silent"));
    Publish(broker.Port(), topic, RecordPayload("id-1", "pass", MinutesAgo(3), 30));
    ASSERT_TRUE(WaitForBoxes(http, 2)) << Boxes(http);
    board->Signal(SIGTERM);
    EXPECT_EQ(board->Wait().status, 143) << board->Stderr();

    // While the board is down: a new result, and one it had, sent again by a station's spool.
    Publish(broker.Port(), topic, RecordPayload("id-3", "pass", MinutesAgo(1), 31));
    Publish(broker.Port(), topic, RecordPayload("id-2", "fail", MinutesAgo(2), 9, "box silent"));
    board = std::make_unique<ChildProcess>(command);
    ASSERT_TRUE(board->WaitForStderr("MQTT: watching")) << board->Stderr();
    EXPECT_NE(board->Stderr().find("; 2 results of history in sqlite:"), std::string::npos)
        << board->Stderr();
    // One more after the restart: once it is counted, everything before it has been read.
    Publish(broker.Port(), topic, RecordPayload("id-4", "pass", MinutesAgo(0), 29));
    EXPECT_TRUE(WaitForBoxes(http, 4)) << Boxes(http) << " boxes, not 4";
    httplib::Client client("127.0.0.1", http);
    // The retained states come in their own time, the 2 MB one last: once both are dropped.
    httplib::Result stations = client.Get("/api/stations");
    for (int i = 0;
         i < 400 && stations && stations->body.find("\"dropped\":2") == std::string::npos; ++i) {
        std::this_thread::sleep_for(50ms);
        stations = client.Get("/api/stations");
    }
    ASSERT_TRUE(stations);
    const Json snapshot = ParseJsonObject(stations->body).value_or(Json::object());
    ASSERT_EQ(snapshot["failures"].size(), 1u) << stations->body;
    EXPECT_EQ(snapshot["failures"][0]["reason"], "box silent");
    // Up again after reading the hostile states once more: the two past the bound counted (the
    // result that is no record never reaches the line's model), and the page told.
    ASSERT_EQ(snapshot["stations"].size(), 1u) << stations->body;
    EXPECT_EQ(snapshot["stations"][0]["dropped"], 2) << stations->body;
    board->Signal(SIGINT);
    EXPECT_EQ(board->Wait().status, 130);
}

// A simulated box on a pseudo-terminal of its own, served on a thread of its own.
struct SimulatedBox {
    explicit SimulatedBox(StbSimOptions options) : sim(std::move(options)) {
        opened = sim.OpenPty().Ok();
        runner = std::thread([this] { sim.Run(); });
    }
    ~SimulatedBox() {
        sim.Stop();
        runner.join();
    }
    StbSimulator sim;
    bool opened = false;
    std::thread runner;
};

bool BrowserAtHand() {
    return access("/usr/bin/chromium", X_OK) == 0 && access("/usr/bin/chromedriver", X_OK) == 0 &&
           std::system("/usr/bin/python3 -c 'import selenium' 2>/dev/null") == 0;
}

// A broker and a board watching it, for a real browser to read.
class BrowserBoardTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!BrowserAtHand()) {
            GTEST_SKIP() << "needs chromium, chromium-driver and python3-selenium "
                            "(scripts/install-deps.sh)";
        }
        ASSERT_TRUE(broker.Start()) << broker.Log();
        board = std::make_unique<ChildProcess>(std::vector<std::string>{
            ProgramPath("stavel"), "--watch", broker.Url(), "--http", std::to_string(http)});
        ASSERT_TRUE(board->WaitForStderr("MQTT: watching")) << board->Stderr();
    }

    TempDir dir;
    MqttBroker broker{{dir.Path()}};
    const int http = FreeLocalPort();
    std::unique_ptr<ChildProcess> board;
};

TEST_F(BrowserBoardTest, InABrowserTilesTurnPassAndFailWithTheReasonAndHostileTextStaysText) {
    // Two boxes: the first loads its image; the second falls silent after 20 kB. Each keeps its
    // line open after its end, so that the slot keeps showing its verdict.
    const std::vector<std::uint8_t> bytes = stbsim::MakeTestImage(60000);
    const std::string image = dir.File("image.sdl");
    ASSERT_TRUE(stbsim::WriteImageFile(image, bytes));
    std::vector<std::unique_ptr<SimulatedBox>> boxes;
    for (const std::int64_t silentAfter : {-1, 20000}) {
        StbSimOptions options;
        options.image = bytes;
        options.silentAfterBytes = silentAfter;
        options.startTimeoutMs = 20000;
        boxes.push_back(std::make_unique<SimulatedBox>(std::move(options)));
        ASSERT_TRUE(boxes.back()->opened);
    }
    const std::string station = "<img src=x onerror=window.pwned=1> line 7";
    ChildProcess serving({ProgramPath("stavel"), "-p", "A=" + boxes[0]->sim.SlavePath(), "-p",
                          "B=" + boxes[1]->sim.SlavePath(), "-i", image, "--loop", "--timeout", "1",
                          "--report", dir.File("report.jsonl"), "--mqtt", broker.Url(),
                          "--station-name", station});

    // A station that is not one: its name, reason and box id are markup and script.
    const std::string forged = "stavel/" + EncodeTopicLevel("<b>forged</b>") + "/";
    Publish(broker.Port(), forged + "status", "online", true);
    Publish(broker.Port(), forged + "X/state", R"({"state":"failed","fails":1})", true);
    ASSERT_TRUE(WaitForStation(http, "<b>forged</b>"));
    Publish(
        broker.Port(), forged + "X/result",
        RecordPayload("id-forged", "fail", MinutesAgo(0), 1,
                      "<img src=x onerror=\"window.pwned=2\">", "<script>window.pwned=3</script>"));

    const std::string shot = getenv("STAVEL_BOARD_SHOT") != nullptr ? getenv("STAVEL_BOARD_SHOT")
                                                                    : dir.File("board.png");
    ChildProcess check({"/usr/bin/python3", STAVEL_SOURCE_DIR "/tests/board/browser_check.py",
                        "http://127.0.0.1:" + std::to_string(http) + "/", station, shot});
    const ChildProcess::End end = check.Wait(std::chrono::seconds(90));
    EXPECT_TRUE(end.exited && end.status == 0)
        << check.Stdout() << check.Stderr() << "\nthe station said:\n"
        << serving.Stderr();
    EXPECT_FALSE(ReadBytes(shot).empty()) << "the browser's screenshot";
    serving.Signal(SIGTERM);
    serving.Wait();
}

// A station of 16 slots on a wall screen: every slot's word reads from across a hall.
TEST_F(BrowserBoardTest, TheWallViewFillsAFullHdScreenWithSixteenSlotsWordsLargeEnough) {
    Json slots = Json::array();
    for (int i = 1; i <= 16; ++i) {
        slots.push_back(
            Json{{"label", "A" + std::to_string(i)}, {"port", "/dev/ttyUSB" + std::to_string(i)}});
    }
    Publish(broker.Port(), "stavel/hall3/info",
            JsonLine(Json{{"station", "hall3"}, {"slots", slots}}), true);
    Publish(broker.Port(), "stavel/hall3/status", "online", true);
    const char* states[] = {R"({"state":"passed","passes":7})", R"({"state":"failed","fails":1})",
                            R"({"state":"loading","percent":40})"};
    for (int i = 1; i <= 16; ++i) {
        Publish(broker.Port(), "stavel/hall3/A" + std::to_string(i) + "/state", states[i % 3],
                true);
    }
    ASSERT_TRUE(WaitForStation(http, "hall3"));

    const std::string shot =
        getenv("STAVEL_WALL_SHOT") != nullptr ? getenv("STAVEL_WALL_SHOT") : dir.File("wall.png");
    ChildProcess check({"/usr/bin/python3", STAVEL_SOURCE_DIR "/tests/board/browser_check.py",
                        "--wall", "http://127.0.0.1:" + std::to_string(http) + "/", "hall3", "16",
                        shot});
    const ChildProcess::End end = check.Wait(std::chrono::seconds(90));
    EXPECT_TRUE(end.exited && end.status == 0) << check.Stdout() << check.Stderr();
    std::printf("%s", check.Stdout().c_str());
}

}  // namespace
