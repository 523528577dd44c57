// A station's results reach a real Mosquitto broker on 127.0.0.1: each result equal to its
// report line, the station's status online and offline, its info, each slot's state, the stale
// slots of an earlier run cleared, what `stavel --watch` shows of it, and nothing lost while the
// broker is away.

#include <mosquitto.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <thread>

#include "download/SlotState.h"
#include "mqtt/TopicName.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/mqtt/MqttBroker.h"
#include "tests/support/mqtt/MqttSubscriber.h"

namespace {

class MqttTest : public CliTest {
  protected:
    std::string SpoolPath() const { return ReportPath() + ".mqtt-spool"; }

    // stavel serving `port` with the report and the broker.
    std::vector<std::string> Station(const std::string& port, const std::string& image,
                                     const std::string& url, const std::string& station,
                                     std::vector<std::string> extra = {}) const {
        extra.insert(extra.begin(),
                     {"--report", ReportPath(), "--mqtt", url, "--station-name", station});
        return StavelServe(port, image, extra);
    }
};

std::vector<std::string> Payloads(const std::vector<MqttMessage>& messages) {
    std::vector<std::string> payloads;
    for (const MqttMessage& message : messages) {
        payloads.push_back(message.payload);
    }
    return payloads;
}

std::string Field(const std::string& json, const char* key) {
    return JsonStringAt(ParseJsonObject(json).value_or(Json::object()), key, "<missing>");
}

double Number(const std::string& json, const char* key) {
    return JsonNumberAt(ParseJsonObject(json).value_or(Json::object()), key, -1);
}

// Leaves `payload` retained on `topic`, as an earlier run would have.
void Retain(int port, const std::string& topic, const std::string& payload) {
    mosquitto* client = mosquitto_new(nullptr, true, nullptr);
    EXPECT_EQ(mosquitto_connect(client, "127.0.0.1", port, 10), MOSQ_ERR_SUCCESS);
    mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 0, true);
    mosquitto_disconnect(client);
    for (int i = 0; i < 100 && mosquitto_loop(client, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {
    }
    mosquitto_destroy(client);
}

TEST_F(MqttTest, AStationPublishesItsStatusStateAndEachResultEqualToTheReport) {
    MqttBroker broker({m_dir.Path()});
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.Connected());
    ChildProcess watch({ProgramPath("stavel"), "--watch", broker.Url()});
    ASSERT_TRUE(watch.WaitForStderr("MQTT: watching mqtt://127.0.0.1:")) << watch.Stderr();
    const std::string image = MakeImage(60000);
    StbSimOptions options = FastBox(m_image);
    options.boxes = 3;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    // A name with every character a topic level must not hold as it is.
    const std::string station = "line 1/a+b#%";
    const std::string base = "stavel/line 1%2Fa%2Bb%23%25/";
    // An earlier run served B9 (its info says so) and A9 (only its retained state says so).
    Retain(broker.Port(), base + "info", R"({"slots":[{"label":"B9","port":"/dev/ttyB9"}]})");
    Retain(broker.Port(), base + "A9/state", R"({"state":"passed","passes":7})");
    ChildProcess tool(
        Station(box.SlavePath(), image, broker.Url(), station, {"--loop", "--count", "3"}));
    box.Start();
    EXPECT_TRUE(box.Join().ok);
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find("MQTT: connected to mqtt://127.0.0.1:" +
                                 std::to_string(broker.Port()) + " as station '" + station + "'"),
              std::string::npos)
        << tool.Stderr();

    const std::string slot = EncodeTopicLevel(box.SlavePath());
    const std::vector<std::string> report = ReportLines(ReportPath());
    ASSERT_EQ(report.size(), 3u);
    ASSERT_TRUE(watcher.WaitForCount(base + slot + "/result", 3));
    const std::vector<MqttMessage> results = watcher.On(base + slot + "/result");
    EXPECT_EQ(Payloads(results), report) << "every record, byte for byte, in order";
    for (const MqttMessage& result : results) {
        EXPECT_FALSE(result.retained);
    }
    ASSERT_TRUE(watcher.WaitForCount(base + "status", 2));
    EXPECT_EQ(Payloads(watcher.On(base + "status")),
              (std::vector<std::string>{"online", "offline"}));
    // At most one state a second: three boxes make far more changes than that.
    const std::vector<MqttMessage> states = watcher.On(base + slot + "/state");
    ASSERT_FALSE(states.empty());
    EXPECT_LE(states.size(), static_cast<std::size_t>(end.elapsedSeconds) + 2);
    for (const MqttMessage& state : states) {
        const std::string name = Field(state.payload, "state");
        SlotState known{};
        EXPECT_TRUE(SlotStateFromCode(name, &known)) << state.payload;
        EXPECT_NE(known, SlotState::Failed) << state.payload;
    }

    // A subscriber that comes later finds the station's end and each slot's last state kept.
    MqttSubscriber late(broker.Port());
    ASSERT_TRUE(late.WaitForCount(base + slot + "/state", 1));
    ASSERT_TRUE(late.WaitForCount(base + "status", 1));
    EXPECT_EQ(late.On(base + "status").front().payload, "offline");
    const MqttMessage last = late.On(base + slot + "/state").front();
    EXPECT_TRUE(last.retained);
    EXPECT_EQ(Field(last.payload, "state"), "passed") << last.payload;
    EXPECT_EQ(Number(last.payload, "passes"), 3) << last.payload;
    EXPECT_EQ(Number(last.payload, "fails"), 0) << last.payload;
    EXPECT_EQ(ReadBytes(SpoolPath()), "") << "the broker has every result";
    ASSERT_TRUE(late.WaitForCount(base + "info", 1));
    const Json info = ParseJsonObject(late.On(base + "info").front().payload).value_or(Json());
    EXPECT_EQ(JsonLine(info.value("slots", Json())),
              JsonLine(Json::array({{{"label", box.SlavePath()}, {"port", box.SlavePath()}}})));
    // The slots of the earlier run are forgotten: an empty retained message clears each.
    ASSERT_TRUE(watcher.WaitForCount(base + "A9/state", 2));
    EXPECT_EQ(watcher.On(base + "A9/state").back().payload, "");
    ASSERT_TRUE(watcher.WaitForCount(base + "B9/state", 1));
    EXPECT_EQ(watcher.On(base + "B9/state").back().payload, "");
    EXPECT_TRUE(late.On(base + "A9/state").empty());

    // The watcher saw the station come and go, and each result as one line.
    EXPECT_TRUE(watch.WaitForStdout(station + " OFFLINE\n")) << watch.Stdout();
    const std::string shown = watch.Stdout();
    // Each line is stamped with the time, "13:02:11 ".
    EXPECT_EQ(shown.find(" " + station + " online\n"), 8u) << shown;
    EXPECT_TRUE(std::regex_search(shown, std::regex(R"(^\d\d:\d\d:\d\d )"))) << shown;
    EXPECT_EQ(CountOf(shown, station + " " + box.SlavePath() + " PASS id="), 3) << shown;
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait().status, 130);
}

TEST_F(MqttTest, ABrokerThatStopsMidRunLosesNoResultAndHoldsNoBoxBack) {
    MqttBroker broker({m_dir.Path(), true});
    ASSERT_TRUE(broker.Start()) << broker.Log();
    // The factory's database: its session (and what waits for it) outlives a broker restart.
    MqttSubscriber database(broker.Port(), "stavel/#", "factory-database");
    ASSERT_TRUE(database.Connected());
    const std::string image = MakeImage(20000);
    StbSimOptions options = FastBox(m_image);
    options.boxes = 12;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(Station(box.SlavePath(), image, broker.Url(), "bouncy", {"--loop"}));
    ASSERT_TRUE(tool.WaitForStderr("MQTT: connected")) << tool.Stderr();
    broker.Stop();
    ASSERT_TRUE(tool.WaitForStderr(
        "MQTT: lost the connection to mqtt://127.0.0.1:" + std::to_string(broker.Port()) + ": "))
        << tool.Stderr() << broker.Log();
    box.Start();
    // Boxes go on being served while the broker is away.
    ASSERT_TRUE(tool.WaitForStderr("PASS", 4)) << tool.Stderr();
    EXPECT_GE(CountOf(ReadBytes(SpoolPath()), "\n"), 4) << "kept for the broker";
    ASSERT_TRUE(broker.Start()) << broker.Log();
    EXPECT_TRUE(box.Join().ok);
    // The station, still running, takes the broker back and empties its spool.
    ASSERT_TRUE(tool.WaitForStderr("MQTT: connected", 2)) << tool.Stderr();
    for (int i = 0; i < 400 && ReadBytes(SpoolPath()) != ""; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    tool.Signal(SIGTERM);
    const ChildProcess::End end = tool.Wait();
    EXPECT_EQ(end.status, 143) << tool.Stderr();
    EXPECT_EQ(CountOf(tool.Stderr(), "MQTT: connected"), 2) << tool.Stderr();
    EXPECT_EQ(CountOf(tool.Stderr(), "MQTT: lost"), 1) << "one line per change:\n" << tool.Stderr();
    EXPECT_EQ(CountOf(tool.Stderr(), "MQTT: cannot reach"), 0) << tool.Stderr();
    const std::vector<std::string> report = ReportLines(ReportPath());
    ASSERT_EQ(report.size(), 12u);
    EXPECT_EQ(ReadBytes(SpoolPath()), "") << "the broker acknowledged every result";

    const std::string resultTopic =
        "stavel/bouncy/" + EncodeTopicLevel(box.SlavePath()) + "/result";
    // Duplicates may come (QoS 1), each with the id of the one it repeats; dropped by id, the
    // results are the report's lines in order.
    const auto unique = [&] {
        std::vector<std::string> ids;
        std::vector<std::string> payloads;
        for (const MqttMessage& message : database.On(resultTopic)) {
            const std::string id = Field(message.payload, "id");
            if (std::find(ids.begin(), ids.end(), id) == ids.end()) {
                ids.push_back(id);
                payloads.push_back(message.payload);
            }
        }
        return payloads;
    };
    for (int i = 0; i < 200 && unique().size() < report.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(unique(), report);
}

}  // namespace
