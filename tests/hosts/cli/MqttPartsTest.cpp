// The parts of the broker link that need no broker: the URL, the topic levels, the spool on disk,
// the state's JSON and the watch view's table.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "mqtt/MqttUrl.h"
#include "mqtt/ResultSpool.h"
#include "mqtt/SlotStatus.h"
#include "mqtt/TopicName.h"
#include "mqtt/WatchBoard.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/files/TempDir.h"

namespace {

TEST(MqttUrlTest, SchemesPortsUsersAndWhatIsRefused) {
    const auto plain = ParseMqttUrl("mqtt://broker.example");
    ASSERT_TRUE(plain.url) << plain.error;
    EXPECT_FALSE(plain.url->tls);
    EXPECT_EQ(plain.url->host, "broker.example");
    EXPECT_EQ(plain.url->port, 1883);
    EXPECT_EQ(plain.url->user, "");
    const auto secure = ParseMqttUrl("mqtts://line7@10.1.2.3:8884/");
    ASSERT_TRUE(secure.url) << secure.error;
    EXPECT_TRUE(secure.url->tls);
    EXPECT_EQ(secure.url->host, "10.1.2.3");
    EXPECT_EQ(secure.url->port, 8884);
    EXPECT_EQ(secure.url->user, "line7");
    EXPECT_EQ(ShownBroker(*secure.url), "mqtts://10.1.2.3:8884");
    EXPECT_EQ(ParseMqttUrl("mqtts://h").url->port, 8883);
    const auto v6 = ParseMqttUrl("mqtt://[::1]:1884");
    ASSERT_TRUE(v6.url) << v6.error;
    EXPECT_EQ(v6.url->host, "::1");
    EXPECT_EQ(ShownBroker(*v6.url), "mqtt://[::1]:1884");
    for (const char* bad :
         {"", "tcp://h", "mqtt://", "mqtt://h:", "mqtt://h:0", "mqtt://h:65536", "mqtt://h:12a",
          "mqtt://h/topic", "mqtt://@h", "mqtt://h h", "mqtt://[::1", "MQTT://h"}) {
        const auto parse = ParseMqttUrl(bad);
        EXPECT_FALSE(parse.url) << bad;
        EXPECT_FALSE(parse.error.empty()) << bad;
    }
    const auto password = ParseMqttUrl("mqtt://u:hunter2@h");
    EXPECT_FALSE(password.url);
    EXPECT_EQ(password.error.find("hunter2"), std::string::npos) << password.error;
}

TEST(TopicNameTest, LevelsAreEscapedReversiblyAndNeverCollide) {
    EXPECT_EQ(EncodeTopicLevel("/dev/ttyUSB0"), "%2Fdev%2FttyUSB0");
    EXPECT_EQ(EncodeTopicLevel("a+b#c%d"), "a%2Bb%23c%25d");
    EXPECT_EQ(EncodeTopicLevel(std::string("x\0y\n\x7F", 5)), "x%00y%0A%7F");
    EXPECT_EQ(EncodeTopicLevel("Prüfplatz 3"), "Prüfplatz 3") << "UTF-8 stays as it is";
    EXPECT_EQ(EncodeTopicLevel("\xFF\xC3"), "%FF%C3") << "bytes that are not UTF-8";
    EXPECT_EQ(StateTopic("line/1", "COM3"), "stavel/line%2F1/COM3/state");
    // "%2F" typed by someone and "/" are different names with different topics.
    EXPECT_NE(EncodeTopicLevel("a%2Fb"), EncodeTopicLevel("a/b"));
    for (const std::string& name :
         {std::string("/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0"), std::string("a%2Fb"),
          std::string("+#/%"), std::string("\x01\xFFz"), std::string("")}) {
        EXPECT_EQ(DecodeTopicLevel(EncodeTopicLevel(name)), name);
    }
    EXPECT_FALSE(DecodeTopicLevel("a/b")) << "a raw slash is not one level";
    EXPECT_FALSE(DecodeTopicLevel("%2"));
    EXPECT_FALSE(DecodeTopicLevel("%zz"));
    EXPECT_FALSE(DecodeTopicLevel("%41")) << "not how the encoder spells 'A'";
}

TEST(ResultSpoolTest, KeepsUnacknowledgedLinesAcrossAReopenAndDropsATornOne) {
    TempDir dir;
    const std::string path = dir.File("report.jsonl.mqtt-spool");
    std::string error;
    {
        auto spool = ResultSpool::Open(path, &error);
        ASSERT_TRUE(spool) << error;
        ASSERT_TRUE(spool->Add("/dev/ttyUSB0", "{\"id\":\"a\"}\n", &error)) << error;
        ASSERT_TRUE(spool->Add("slot\twith\ttabs%", "{\"id\":\"b\"}\n", &error)) << error;
        ASSERT_TRUE(spool->Add("COM3", "{\"id\":\"c\"}\n", &error)) << error;
        ASSERT_TRUE(spool->Sync(&error)) << error;
        const auto pending = spool->Pending();
        ASSERT_EQ(pending.size(), 3u);
        spool->Acknowledge(pending[0].seq);
        spool->Acknowledge(pending[0].seq);  // twice is harmless
        EXPECT_EQ(spool->PendingAfter(0, 1).at(0).line, "{\"id\":\"b\"}\n");
        EXPECT_EQ(spool->PendingAfter(pending[1].seq, 5).size(), 1u);
        ASSERT_TRUE(spool->Compact(&error)) << error;
    }
    // A crash in the middle of an append leaves a piece of a line.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(write(fd, "COM4\t{\"id\":", 11), 11);
    close(fd);
    auto again = ResultSpool::Open(path, &error);
    ASSERT_TRUE(again) << error;
    const auto pending = again->Pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].slot, "slot\twith\ttabs%");
    EXPECT_EQ(pending[0].line, "{\"id\":\"b\"}\n");
    EXPECT_EQ(pending[1].slot, "COM3");
    EXPECT_EQ(pending[1].line, "{\"id\":\"c\"}\n");
    EXPECT_EQ(ReadBytes(path), "slot%09with%09tabs%25\t{\"id\":\"b\"}\nCOM3\t{\"id\":\"c\"}\n");
    again->Acknowledge(pending[1].seq);
    again->Acknowledge(pending[0].seq);
    EXPECT_NE(ReadBytes(path), "") << "kept until compacted";
    ASSERT_TRUE(again->Compact(&error)) << error;
    EXPECT_EQ(ReadBytes(path), "");
    {
        SCOPED_TRACE("two runs beside one report each keep a spool of their own");
        ASSERT_TRUE(again->Add("COM5", "{\"id\":\"d\"}\n", &error));
        auto second = ResultSpool::Open(path, &error);
        ASSERT_TRUE(second) << error;
        EXPECT_EQ(second->Path(), path + ".2");
        EXPECT_EQ(second->Size(), 0u);
        again.reset();
        auto third = ResultSpool::Open(path, &error);
        ASSERT_TRUE(third) << error;
        EXPECT_EQ(third->Path(), path) << "the first one free again";
        ASSERT_EQ(third->Size(), 1u);
        EXPECT_EQ(third->Pending()[0].line, "{\"id\":\"d\"}\n");
    }
    EXPECT_FALSE(ResultSpool::Open(dir.File("no/such/folder/spool"), &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
}

TEST(WatchBoardTest, StatesResultsAndStationsGoingOffline) {
    SlotStatus serving;
    serving.state = SlotState::Loading;
    serving.figures.percent = 42;
    serving.figures.rate = 11520.4;
    serving.figures.etaSeconds = 31.2;
    serving.passes = 3;
    serving.fails = 1;
    const std::string json = SlotStatusJson(serving);
    EXPECT_EQ(json,
              "{\"state\":\"loading\",\"percent\":42,\"rate\":11520,\"eta\":31,\"passes\":3,"
              "\"fails\":1,\"aborts\":0}");
    EXPECT_EQ(SlotStatusJson(SlotStatus{}),
              "{\"state\":\"waiting-for-port\",\"percent\":0,\"rate\":0,\"eta\":null,"
              "\"passes\":0,\"fails\":0,\"aborts\":0}");

    WatchBoard board;
    EXPECT_EQ(board.OnMessage("stavel/line%2F1/status", "online"),
              std::vector<std::string>{"line/1 online"});
    EXPECT_TRUE(board.OnMessage("stavel/line%2F1/status", "online").empty()) << "no change";
    EXPECT_TRUE(board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/state", json).empty());
    EXPECT_EQ(board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/result",
                              "{\"id\":\"u1\",\"result\":\"fail\",\"reason\":\"the box was "
                              "silent\"}"),
              std::vector<std::string>{"line/1 /dev/a FAIL the box was silent id=u1"});
    EXPECT_TRUE(board.OnMessage("other/x/status", "online").empty());
    EXPECT_TRUE(board.OnMessage("stavel/%zz/status", "online").empty());
    EXPECT_EQ(board.OnMessage("stavel/b/status", "online").size(), 1u);
    EXPECT_EQ(board.OnMessage("stavel/b/status", "offline"), std::vector<std::string>{"b OFFLINE"});
    const std::string table = board.Table();
    EXPECT_NE(table.find("b  ** OFFLINE **\n"), std::string::npos) << table;
    EXPECT_NE(table.find("line/1\n  /dev/a"), std::string::npos) << table;
    EXPECT_NE(table.find("loading  42   11520    31     3     1     FAIL the box was silent"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("2 station(s), 1 online; 3 passed, 1 failed\n"), std::string::npos)
        << table;
}

}  // namespace
