// A station's results reach a real Mosquitto broker on 127.0.0.1: each result equal to its
// report line, the station's status online and offline (also by the last will after SIGKILL),
// nothing lost while the broker is away or across a restart, mqtts, --watch, and bad input.

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "download/SlotState.h"
#include "mqtt/TopicName.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/hosts/cli/JsonLine.h"
#include "tests/support/box/ScriptedBox.h"
#include "tests/support/mqtt/MqttBroker.h"
#include "tests/support/mqtt/MqttSubscriber.h"
#include "tests/support/pty/Pty.h"

namespace {

class MqttTest : public CliTest {
  protected:
    std::string ReportPath() const { return m_dir.File("boxes.jsonl"); }
    std::string SpoolPath() const { return ReportPath() + ".mqtt-spool"; }
    MqttBroker::Options BrokerOptions() const { return {m_dir.Path(), {}, {}, false}; }

    // stavel serving `port` with the report and the broker.
    std::vector<std::string> Station(const std::string& port, const std::string& image,
                                     const std::string& url, const std::string& station,
                                     std::vector<std::string> extra = {}) const {
        extra.insert(extra.begin(),
                     {"--report", ReportPath(), "--mqtt", url, "--station-name", station});
        return StavelServe(port, image, extra);
    }

    std::vector<std::string> ReportLinesNow() const {
        std::vector<std::string> lines;
        for (std::string line : ReportLines(ReadBytes(ReportPath()))) {
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            lines.push_back(line);
        }
        return lines;
    }
};

std::vector<std::string> Payloads(const std::vector<MqttMessage>& messages) {
    std::vector<std::string> payloads;
    for (const MqttMessage& message : messages) {
        payloads.push_back(message.payload);
    }
    return payloads;
}

std::string Field(const std::string& json, const std::string& key) {
    const auto object = ParseJsonObject(json);
    if (!object || object->find(key) == object->end()) {
        return "<missing>";
    }
    return object->at(key).text;
}

// A device that is not there: the box fails at once, with a record, so a run is quick.
const std::string kNoDevice = "/dev/stavel-test-no-such-tty";

TEST_F(MqttTest, AStationPublishesItsStatusStateAndEachResultEqualToTheReport) {
    MqttBroker broker(BrokerOptions());
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.Connected());
    const std::string image = MakeImage(60000);
    StbSimOptions options = FastBox(m_image);
    options.boxes = 3;
    BoxRunner box(std::move(options));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    // A name with every character a topic level must not hold as it is.
    const std::string station = "line 1/a+b#%";
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

    const std::string base = "stavel/line 1%2Fa%2Bb%23%25/";
    const std::string slot = EncodeTopicLevel(box.SlavePath());
    const std::vector<std::string> report = ReportLinesNow();
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
    EXPECT_EQ(Field(last.payload, "passes"), "3") << last.payload;
    EXPECT_EQ(Field(last.payload, "fails"), "0") << last.payload;
    EXPECT_EQ(ReadBytes(SpoolPath()), "") << "the broker has every result";
}

// Four slots served at once by one station publish through one client: every record of every
// slot arrives equal to its report line, and each slot's last state is kept for late readers.
TEST_F(MqttTest, AStationOfFourSlotsPublishesEverySlotsResultsAndState) {
    MqttBroker broker(BrokerOptions());
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.Connected());
    const std::string image = MakeImage(20000);
    std::vector<std::unique_ptr<BoxRunner>> boxes;
    std::vector<std::string> args{ProgramPath("stavel")};
    for (int i = 0; i < 4; ++i) {
        StbSimOptions options = FastBox(m_image);
        options.boxes = 2;
        boxes.push_back(std::make_unique<BoxRunner>(std::move(options)));
        ASSERT_TRUE(boxes.back()->Opened()) << boxes.back()->OpenError();
        args.insert(args.end(), {"--port", boxes.back()->SlavePath()});
    }
    args.insert(args.end(),
                {"--image", image, "--ini", IniPath(), "--loop", "--count", "2", "--report",
                 ReportPath(), "--mqtt", broker.Url(), "--station-name", "four"});
    ChildProcess tool(args);
    for (auto& box : boxes) {
        box->Start();
    }
    for (auto& box : boxes) {
        EXPECT_TRUE(box->Join().ok);
    }
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 0) << tool.Stderr();

    const std::vector<std::string> report = ReportLinesNow();
    ASSERT_EQ(report.size(), 8u);
    const std::string base = "stavel/four/";
    for (const auto& box : boxes) {
        SCOPED_TRACE(box->SlavePath());
        const std::string slot = EncodeTopicLevel(box->SlavePath());
        ASSERT_TRUE(watcher.WaitForCount(base + slot + "/result", 2));
        for (const std::string& payload : Payloads(watcher.On(base + slot + "/result"))) {
            EXPECT_NE(std::find(report.begin(), report.end(), payload), report.end()) << payload;
            EXPECT_EQ(Field(payload, "slot"), box->SlavePath());
        }
        MqttSubscriber late(broker.Port());
        ASSERT_TRUE(late.WaitForCount(base + slot + "/state", 1));
        const MqttMessage last = late.On(base + slot + "/state").front();
        EXPECT_TRUE(last.retained);
        EXPECT_EQ(Field(last.payload, "passes"), "2") << last.payload;
    }
    ASSERT_TRUE(watcher.WaitForCount(base + "status", 2));
    EXPECT_EQ(Payloads(watcher.On(base + "status")),
              (std::vector<std::string>{"online", "offline"}));
}

TEST_F(MqttTest, SigkillLeavesTheLastWillAndARestartSendsWhatTheSpoolKept) {
    MqttBroker broker(BrokerOptions());
    const std::string image = MakeImage(5000);
    const std::string base = "stavel/killed/";
    {
        SCOPED_TRACE("the broker is not there: the box is served and reported all the same");
        ChildProcess tool(Station(kNoDevice, image, broker.Url(), "killed"));
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 3) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find(
                      "MQTT: cannot reach mqtt://127.0.0.1:" + std::to_string(broker.Port()) +
                      ": Connection refused; boxes are still served and "
                      "reported; results wait in " +
                      SpoolPath() + " until it is back"),
                  std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(CountOf(tool.Stderr(), "MQTT:"), 1) << "one line per change:\n" << tool.Stderr();
        ASSERT_EQ(ReportLinesNow().size(), 1u);
        EXPECT_EQ(ReadBytes(SpoolPath()), kNoDevice + "\t" + ReportLinesNow()[0] + "\n");
    }
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber watcher(broker.Port());
    ASSERT_TRUE(watcher.Connected());
    {
        SCOPED_TRACE("a restart sends the spooled result first, then kill -9");
        ScriptedBox box;
        ChildProcess tool(Station(box.SlavePath(), image, broker.Url(), "killed", {"--loop"}));
        const std::string first = base + EncodeTopicLevel(kNoDevice) + "/result";
        ASSERT_TRUE(watcher.WaitForCount(first, 1)) << tool.Stderr();
        EXPECT_EQ(watcher.On(first).front().payload, ReportLinesNow()[0]);
        ASSERT_TRUE(tool.WaitForStderr("sending 1 result(s) from the spool")) << tool.Stderr();
        ASSERT_TRUE(watcher.WaitFor(
            [&](const std::vector<MqttMessage>&) { return ReadBytes(SpoolPath()).empty(); }));
        ASSERT_TRUE(watcher.WaitForCount(base + "status", 1));
        EXPECT_EQ(watcher.On(base + "status").back().payload, "online");
        tool.Signal(SIGKILL);
        tool.Wait();
        ASSERT_TRUE(watcher.WaitForCount(base + "status", 2)) << "the broker's last will";
        EXPECT_EQ(watcher.On(base + "status").back().payload, "offline");
    }
}

TEST_F(MqttTest, ABrokerThatStopsMidRunLosesNoResultAndHoldsNoBoxBack) {
    MqttBroker::Options brokerOptions = BrokerOptions();
    brokerOptions.persistent = true;
    MqttBroker broker(brokerOptions);
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
    EXPECT_GE(ReportLines(ReadBytes(SpoolPath())).size(), 4u) << "kept for the broker";
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
    const std::vector<std::string> report = ReportLinesNow();
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

TEST_F(MqttTest, ALongBacklogGoesOutWholeAndInOrder) {
    // What a long outage leaves: more results than are ever sent at once.
    std::string spool;
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        expected.push_back("{\"id\":\"backlog-" + std::to_string(i) + "\"}");
        spool += "COM" + std::to_string(1 + i % 4) + "\t" + expected.back() + "\n";
    }
    WriteBytes(SpoolPath(), spool);
    MqttBroker broker(BrokerOptions());
    ASSERT_TRUE(broker.Start()) << broker.Log();
    MqttSubscriber watcher(broker.Port(), "stavel/+/+/result");
    ASSERT_TRUE(watcher.Connected());
    const std::string image = MakeImage(5000);
    ChildProcess tool(Station(kNoDevice, image, broker.Url(), "catching-up"));
    EXPECT_EQ(tool.Wait().status, 3) << tool.Stderr();
    expected.push_back(ReportLinesNow().at(0));
    ASSERT_TRUE(watcher.WaitFor([&](const std::vector<MqttMessage>& got) {
        return got.size() >= expected.size();
    })) << watcher.Messages().size();
    const std::vector<MqttMessage> got = watcher.Messages();
    EXPECT_EQ(Payloads(got), expected);
    EXPECT_EQ(got[1].topic, "stavel/catching-up/COM2/result");
    EXPECT_EQ(ReadBytes(SpoolPath()), "");
}

TEST_F(MqttTest, MqttsWithACertificateTheTestMade) {
    MqttBroker::Options options = BrokerOptions();
    options.tls = true;
    MqttBroker broker(options);
    ASSERT_TRUE(broker.Start()) << broker.Log();
    const std::string image = MakeImage(5000);
    ChildProcess tool(
        Station(kNoDevice, image, broker.Url(), "secure", {"--mqtt-ca", broker.CaFile()}));
    EXPECT_EQ(tool.Wait().status, 3) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find("MQTT: connected to mqtts://127.0.0.1:"), std::string::npos)
        << tool.Stderr();
    EXPECT_EQ(ReadBytes(SpoolPath()), "") << "the broker took the result over TLS";
    ASSERT_EQ(ReportLinesNow().size(), 1u);

    // A CA that did not sign the broker's certificate: refused, and the result waits.
    const std::string otherCa = m_dir.File("other-ca.pem");
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=other "
                           "-keyout '" +
                           m_dir.File("other.key") + "' -out '" + otherCa + "' >/dev/null 2>&1")
                              .c_str()),
              0);
    ChildProcess wrong(Station(kNoDevice, image, broker.Url(), "secure", {"--mqtt-ca", otherCa}));
    EXPECT_EQ(wrong.Wait().status, 3) << wrong.Stderr();
    EXPECT_NE(wrong.Stderr().find("MQTT: cannot reach mqtts://"), std::string::npos)
        << wrong.Stderr();
    EXPECT_EQ(ReportLinesNow().size(), 2u);
    EXPECT_NE(ReadBytes(SpoolPath()), "");
}

TEST_F(MqttTest, BadInputGivesAReasonAndTheBoxIsStillServedAndReported) {
    const std::string image = MakeImage(5000);
    {
        // Each way a URL is refused is in MqttUrlTest; these are the refusals' way out.
        SCOPED_TRACE("bad URLs and options are usage errors");
        ChildProcess password(StavelServe(kNoDevice, image, {"--mqtt", "mqtt://u:secret@h"}));
        EXPECT_EQ(password.Wait().status, 2);
        EXPECT_NE(password.Stderr().find("never a password"), std::string::npos);
        EXPECT_EQ(password.Stderr().find("secret"), std::string::npos) << password.Stderr();
        const std::vector<std::pair<std::vector<std::string>, std::string>> refused{
            {{"-p", "COM3", "-i", image, "--station-name", "x"}, "--station-name goes with --mqtt"},
            {{"-p", "COM3", "-i", image, "--mqtt", "mqtt://h", "--station", "x"},
             "--station goes with --watch"},
            {{"--watch", "mqtt://h", "-p", "COM3"}, "--watch takes only"},
            {{"--watch", "mqtt://h", "--mqtt", "mqtt://h"}, "one or the other"},
            {{"-p", "COM3", "-i", image, "--mqtt-password-file", "pw"},
             "goes with --mqtt or --watch"},
            {{"--demo", "--mqtt", "mqtt://h"}, "--demo takes only"},
            {{"--watch", "ftp://h"}, "mqtt://host[:port]"},
            {{"-p", "COM3", "-i", image, "--mqtt", "mqtt://127.0.0.1/path"}, "stavel: the MQTT"},
            {{"-p", "COM3", "-i", image, "--mqtt", "mqtt://127.0.0.1", "--mqtt-ca", "ca.pem"},
             "--mqtt-ca goes with an mqtts:// broker"},
        };
        for (auto [args, reason] : refused) {
            args.insert(args.begin(), ProgramPath("stavel"));
            ChildProcess tool(args);
            EXPECT_EQ(tool.Wait().status, 2) << args.back();
            EXPECT_NE(tool.Stderr().find(reason), std::string::npos) << tool.Stderr();
        }
    }
    MqttBroker broker({m_dir.Path(), "station", "right horse battery", false});
    ASSERT_TRUE(broker.Start()) << broker.Log();
    {
        SCOPED_TRACE("a refused login");
        ChildProcess tool(Station(kNoDevice, image, broker.Url(), "s1"),
                          {"STAVEL_MQTT_PASSWORD=wrong staple"});
        EXPECT_EQ(tool.Wait().status, 3) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find("MQTT: mqtt://127.0.0.1:" + std::to_string(broker.Port()) +
                                     " refused the login: "),
                  std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(tool.Stderr().find("wrong staple"), std::string::npos) << "never shown";
        EXPECT_EQ(ReportLinesNow().size(), 1u);
        EXPECT_NE(ReadBytes(SpoolPath()), "");
    }
    {
        SCOPED_TRACE("the right password from a file takes the spool as well");
        const std::string file = m_dir.File("password");
        WriteBytes(file, "right horse battery\n");
        MqttSubscriber watcher(broker.Port());
        EXPECT_FALSE(watcher.Connected()) << "anonymous clients are refused";
        ChildProcess tool(
            Station(kNoDevice, image, broker.Url(), "s1", {"--mqtt-password-file", file}));
        EXPECT_EQ(tool.Wait().status, 3) << tool.Stderr();
        EXPECT_NE(tool.Stderr().find("MQTT: connected"), std::string::npos) << tool.Stderr();
        EXPECT_EQ(ReadBytes(SpoolPath()), "");
        EXPECT_EQ(ReportLinesNow().size(), 2u);
    }
    {
        SCOPED_TRACE("--mqtt without --report keeps the report in the state folder");
        const std::string state = m_dir.File("state");
        ChildProcess tool(
            StavelServe(kNoDevice, image,
                        {"--mqtt", "mqtt://127.0.0.1:" + std::to_string(FreeLocalPort())}),
            {"XDG_STATE_HOME=" + state});
        EXPECT_EQ(tool.Wait().status, 3) << tool.Stderr();
        const std::string report = state + "/stavel/report.jsonl";
        EXPECT_NE(tool.Stderr().find("stavel: the report goes to " + report + "\n"),
                  std::string::npos)
            << tool.Stderr();
        EXPECT_EQ(ReportLines(ReadBytes(report)).size(), 1u);
        EXPECT_EQ(ReportLines(ReadBytes(report + ".mqtt-spool")).size(), 1u);
    }
}

TEST_F(MqttTest, WatchShowsEveryStationAndMarksOneThatGoesOffline) {
    MqttBroker broker(BrokerOptions());
    ASSERT_TRUE(broker.Start()) << broker.Log();
    const std::string image = MakeImage(5000);
    ChildProcess watch({ProgramPath("stavel"), "--watch", broker.Url()});
    ASSERT_TRUE(watch.WaitForStderr("MQTT: watching mqtt://127.0.0.1:")) << watch.Stderr();
    ScriptedBox boxA;
    ScriptedBox boxB;
    ChildProcess a(Station(boxA.SlavePath(), image, broker.Url(), "alpha", {"--loop"}));
    ChildProcess b(Station(boxB.SlavePath(), image, broker.Url(), "beta/2", {"--loop"}));
    EXPECT_TRUE(watch.WaitForStdout("alpha online\n")) << watch.Stdout();
    EXPECT_TRUE(watch.WaitForStdout("beta/2 online\n")) << watch.Stdout();
    b.Signal(SIGKILL);
    EXPECT_TRUE(watch.WaitForStdout("beta/2 OFFLINE\n")) << watch.Stdout();
    // A result shows as one line.
    ChildProcess c(Station(kNoDevice, image, broker.Url(), "gamma"));
    c.Wait();
    EXPECT_TRUE(watch.WaitForStdout("gamma " + kNoDevice + " FAIL port could not be opened: "))
        << watch.Stdout();
    a.Signal(SIGTERM);
    a.Wait();
    EXPECT_TRUE(watch.WaitForStdout("alpha OFFLINE\n")) << "a clean end:\n" << watch.Stdout();
    watch.Signal(SIGINT);
    EXPECT_EQ(watch.Wait().status, 130);

    // Only the station asked for.
    ChildProcess only({ProgramPath("stavel"), "--watch", broker.Url(), "--station", "beta/2"});
    EXPECT_TRUE(only.WaitForStdout("beta/2 OFFLINE\n")) << only.Stdout() << only.Stderr();
    only.Signal(SIGTERM);
    EXPECT_EQ(only.Wait().status, 143);
    EXPECT_EQ(only.Stdout().find("alpha"), std::string::npos) << only.Stdout();
}

TEST_F(MqttTest, WatchOnATerminalDrawsTheTableWithTotals) {
    MqttBroker broker(BrokerOptions());
    ASSERT_TRUE(broker.Start()) << broker.Log();
    const std::string image = MakeImage(5000);
    ChildProcess first(Station(kNoDevice, image, broker.Url(), "delta"));
    EXPECT_EQ(first.Wait().status, 3) << first.Stderr();
    ScriptedBox box;
    ChildProcess running(Station(box.SlavePath(), image, broker.Url(), "echo", {"--loop"}));
    ASSERT_TRUE(running.WaitForStderr("MQTT: connected")) << running.Stderr();

    Pty terminal;
    ChildProcess watch({ProgramPath("stavel"), "--watch", broker.Url()}, {}, terminal.SlaveFd(),
                       terminal.MasterFd());
    terminal.ReleaseSlave();
    // The retained state of each slot and the status of each station fill the table at once.
    EXPECT_TRUE(watch.WaitForStdout("2 station(s), 1 online; 0 passed, 1 failed"))
        << watch.Stdout();
    const std::string out = watch.Stdout();
    EXPECT_NE(out.find("\x1b[H\x1b[2J"), std::string::npos) << "drawn in place";
    EXPECT_NE(out.find("delta  ** OFFLINE **"), std::string::npos) << out;
    EXPECT_NE(out.find("  " + kNoDevice), std::string::npos) << out;
    EXPECT_NE(out.find("failed"), std::string::npos) << out;
    // The running station's slot shows once its state has come (at most one a second).
    EXPECT_TRUE(watch.WaitForStdout("echo\n  " + box.SlavePath())) << watch.Stdout();
    EXPECT_TRUE(watch.WaitForStdout("wait box")) << watch.Stdout();
    running.Signal(SIGTERM);
    running.Wait();
    EXPECT_TRUE(watch.WaitForStdout("2 station(s), 0 online; 0 passed, 1 failed"))
        << watch.Stdout();
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait().status, 143);
}

}  // namespace
