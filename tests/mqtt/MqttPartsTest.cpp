// The parts of the broker link that need no broker: the URL, the topic levels, the spool on disk,
// the one decoder of the broker's messages, the info's JSON, the watch view's table, and what a
// station ending with results in its spool says.

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include "download/SlotStatusCodec.h"
#include "mqtt/LineMessage.h"
#include "mqtt/MqttPublisher.h"
#include "mqtt/MqttUrl.h"
#include "mqtt/ResultSpool.h"
#include "mqtt/StationInfo.h"
#include "mqtt/TopicName.h"
#include "mqtt/WatchBoard.h"
#include "mqtt/WatchedLine.h"
#include "record/BoxRecordCodec.h"
#include "tests/support/files/TempDir.h"

namespace {

TEST(MqttUrlTest, SchemesPortsUsersAndWhatIsRefused) {
    EXPECT_EQ(ShownBroker(*ParseMqttUrl("mqtt://broker.example")), "mqtt://broker.example:1883");
    const auto secure = ParseMqttUrl("mqtts://line7@10.1.2.3:8884/");
    ASSERT_TRUE(secure);
    EXPECT_TRUE(secure->tls);
    EXPECT_EQ(secure->host, "10.1.2.3");
    EXPECT_EQ(secure->port, 8884);
    EXPECT_EQ(secure->user, "line7");
    EXPECT_EQ(ShownBroker(*secure), "mqtts://10.1.2.3:8884");
    EXPECT_EQ(ParseMqttUrl("mqtts://h")->port, 8883);
    EXPECT_EQ(ShownBroker(*ParseMqttUrl("mqtt://[::1]:1884")), "mqtt://[::1]:1884");
    for (const char* bad :
         {"", "tcp://h", "mqtt://", "mqtt://h:", "mqtt://h:0", "mqtt://h:65536", "mqtt://h:12a",
          "mqtt://h/topic", "mqtt://@h", "mqtt://h h", "mqtt://[::1", "MQTT://h"}) {
        const auto parse = ParseMqttUrl(bad);
        ASSERT_FALSE(parse) << bad;
        EXPECT_FALSE(parse.Failure().Describe().empty()) << bad;
    }
    const auto password = ParseMqttUrl("mqtt://u:hunter2@h");
    ASSERT_FALSE(password);
    EXPECT_EQ(password.Failure().Describe().find("hunter2"), std::string::npos);
}

TEST(TopicNameTest, LevelsAreEscapedReversiblyAndNeverCollide) {
    EXPECT_EQ(EncodeTopicLevel("/dev/a+b#c%d"), "%2Fdev%2Fa%2Bb%23c%25d");
    EXPECT_EQ(EncodeTopicLevel(std::string("x\0y\n\x7F", 5)), "x%00y%0A%7F");
    EXPECT_EQ(EncodeTopicLevel("Prüfplatz 3"), "Prüfplatz 3") << "UTF-8 stays as it is";
    EXPECT_EQ(EncodeTopicLevel("\xFF\xC3"), "%FF%C3") << "bytes that are not UTF-8";
    EXPECT_EQ(StateTopic("line/1", "COM3"), "stavel/line%2F1/COM3/state");
    EXPECT_EQ(SlotOfStateTopic("line/1", "stavel/line%2F1/%2Fdev%2Fa/state"), "/dev/a");
    for (const char* other : {"stavel/line%2F1/a/result", "stavel/line%2F1/a/b/state",
                              "stavel/line%2F1//state", "stavel/line1/a/state"}) {
        EXPECT_FALSE(SlotOfStateTopic("line/1", other)) << other;
    }
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

std::unique_ptr<ResultSpool> OpenSpool(const std::string& path) {
    auto spool = ResultSpool::Open(path);
    if (!spool) {
        ADD_FAILURE() << spool.Failure().Describe();
        return nullptr;
    }
    return std::move(*spool);
}

TEST(ResultSpoolTest, KeepsUnacknowledgedLinesAcrossAReopenAndDropsATornOne) {
    TempDir dir;
    const std::string path = dir.File("report.jsonl.mqtt-spool");
    {
        auto spool = OpenSpool(path);
        ASSERT_TRUE(spool);
        ASSERT_TRUE(spool->Add("/dev/ttyUSB0", "{\"id\":\"a\"}\n"));
        ASSERT_TRUE(spool->Add("slot\twith\ttabs%", "{\"id\":\"b\"}\n"));
        ASSERT_TRUE(spool->Add("COM3", "{\"id\":\"c\"}\n"));
        ASSERT_TRUE(spool->Sync());
        const auto pending = spool->Pending();
        ASSERT_EQ(pending.size(), 3u);
        spool->Acknowledge(pending[0].seq);
        spool->Acknowledge(pending[0].seq);  // twice is harmless
        EXPECT_EQ(spool->PendingAfter(0, 1).at(0).line, "{\"id\":\"b\"}\n");
        EXPECT_EQ(spool->PendingAfter(pending[1].seq, 5).size(), 1u);
        ASSERT_TRUE(spool->Compact());
    }
    // A crash in the middle of an append leaves a piece of a line.
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(write(fd, "COM4\t{\"id\":", 11), 11);
    close(fd);
    auto again = OpenSpool(path);
    ASSERT_TRUE(again);
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
    ASSERT_TRUE(again->Compact());
    EXPECT_EQ(ReadBytes(path), "");
    {
        SCOPED_TRACE("two runs beside one report each keep a spool of their own");
        ASSERT_TRUE(again->Add("COM5", "{\"id\":\"d\"}\n"));
        auto second = OpenSpool(path);
        ASSERT_TRUE(second);
        EXPECT_EQ(second->Path(), path + ".2");
        EXPECT_EQ(second->Size(), 0u);
        again.reset();
        auto third = OpenSpool(path);
        ASSERT_TRUE(third);
        EXPECT_EQ(third->Path(), path) << "the first one free again";
        ASSERT_EQ(third->Size(), 1u);
        EXPECT_EQ(third->Pending()[0].line, "{\"id\":\"d\"}\n");
    }
    const auto refused = ResultSpool::Open(dir.File("no/such/folder/spool"));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Failure().Describe(),
              dir.File("no/such/folder/spool.lock") + ": open: No such file or directory");
}

// A box's record as a station publishes it on its result topic.
std::string ResultPayload(const std::string& id, BoxResult result, const std::string& reason,
                          const std::string& boxId = "") {
    BoxRecord r;
    r.id = id;
    r.result = result;
    r.reason = reason;
    r.start = *FromIsoUtcMillis("2026-12-07T02:31:07.120Z");
    r.end = r.start + std::chrono::seconds(5);
    if (!boxId.empty()) {
        r.boxId = boxId;
    }
    std::string line = BoxRecordLine(r);
    line.pop_back();
    return line;
}

TEST(LineMessageTest, TopicsAndPayloadsAreReadByTheirCodecsOnly) {
    const auto status = DecodeLineMessage("stavel/line%2F1/status", "online");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->kind, LineMessage::Kind::Status);
    EXPECT_EQ(status->station, "line/1");
    EXPECT_EQ(status->online, true);
    EXPECT_EQ(DecodeLineMessage("stavel/s/status", "offline")->online, false);
    EXPECT_FALSE(DecodeLineMessage("stavel/s/status", "")->online) << "a cleared status";

    const auto result =
        DecodeLineMessage("stavel/s/%2Fdev%2Fa/result", ResultPayload("u1", BoxResult::Fail, "x"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->slot, "/dev/a");
    ASSERT_TRUE(result->record);
    EXPECT_EQ(result->record->result, BoxResult::Fail);
    // A result that is no record (no id, no start, a word no verdict has) carries none.
    for (const char* payload : {"", R"({"id":"u1","result":"fail"})", "FAIL",
                                R"({"id":"u","result":"FAIL","start":"2026-12-07T02:31:07.120Z",)"
                                R"("schema":1})"}) {
        const auto message = DecodeLineMessage("stavel/s/a/result", payload);
        ASSERT_TRUE(message) << payload;
        EXPECT_FALSE(message->record) << payload;
    }
    EXPECT_FALSE(DecodeLineMessage("stavel/s/a/state", "")->state) << "a cleared state";
    EXPECT_FALSE(DecodeLineMessage("stavel/s/a/state", "not json")) << "neither";
    EXPECT_TRUE(DecodeLineMessage("stavel/s/info", "{}")) << "a foreign info: no info";
    EXPECT_FALSE(DecodeLineMessage("stavel/s/info", "{}")->info);
    for (const char* foreign : {"other/x/status", "stavel/%zz/status", "stavel//status",
                                "stavel/s/a/b/state", "stavel/s/a/log", "stavel/s/hello"}) {
        EXPECT_FALSE(DecodeLineMessage(foreign, "online")) << foreign;
    }
    EXPECT_EQ(
        DecodeLineMessage("stavel/" + std::string(5000, 'n') + "/status", "online")->station.size(),
        200u);
}

TEST(WatchBoardTest, StatesResultsAndStationsGoingOffline) {
    SlotStatus serving;
    serving.state = SlotState::Loading;
    serving.figures.percent = 42;
    serving.figures.rate = 11520.4;
    serving.figures.etaSeconds = 31.2;
    serving.passes = 3;
    serving.fails = 1;
    serving.firstPasses = 2;  // one of them at its second attempt

    WatchBoard board;
    EXPECT_EQ(board.OnMessage("stavel/line%2F1/status", "online"),
              std::vector<std::string>{"line/1 online"});
    EXPECT_TRUE(board.OnMessage("stavel/line%2F1/status", "online").empty()) << "no change";
    EXPECT_TRUE(
        board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/state", SlotStatusLine(serving)).empty());
    EXPECT_EQ(board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/result",
                              ResultPayload("u1", BoxResult::Fail, "the box was silent")),
              std::vector<std::string>{"line/1 /dev/a FAIL the box was silent id=u1"});
    EXPECT_TRUE(
        board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/result", R"({"result":"pass"})").empty())
        << "no record: not a verdict";
    EXPECT_TRUE(board.OnMessage("other/x/status", "online").empty());
    EXPECT_TRUE(board.OnMessage("stavel/%zz/status", "online").empty());
    EXPECT_EQ(board.OnMessage("stavel/b/status", "online").size(), 1u);
    EXPECT_EQ(board.OnMessage("stavel/b/status", "offline"), std::vector<std::string>{"b OFFLINE"});
    std::string table = board.Table();
    EXPECT_NE(table.find("b  ** OFFLINE **  yield \u2013, first pass \u2013\n"), std::string::npos)
        << table;
    EXPECT_NE(table.find("line/1  yield 75%, first pass 50%\n  /dev/a"), std::string::npos)
        << table;
    EXPECT_NE(table.find("loading      42   11.5 kB/s  31     3     1\n"), std::string::npos)
        << "a loading slot shows no verdict: its box has begun\n"
        << table;
    EXPECT_NE(table.find("2 station(s), 1 online; 3 passed, 1 failed\n"), std::string::npos)
        << table;

    // The slot's verdict stays while its port is gone, with the port's state beneath it.
    SlotStatus gone = serving;
    gone.state = SlotState::PortAbsent;
    gone.figures = ProgressFigures{};
    gone.fails = 2;
    gone.last = LastVerdict{BoxResult::Fail, "port lost at 42 % (9.5 s)", "port-lost", "", {}};
    gone.port = PortProblem{PortTrouble::Lost, "/dev/a: read: Input/output error"};
    board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/state", SlotStatusLine(gone));
    table = board.Table();
    EXPECT_NE(
        table.find("no port      0    -          -      3     2     FAIL port lost at 42 % "
                   "(9.5 s)\n" +
                   std::string(34, ' ') + "\u26A0 port lost: /dev/a: read: Input/output error\n"),
        std::string::npos)
        << table;
    // A box gone quiet: how long, no rate, no time left.
    SlotStatus quiet = serving;
    quiet.figures.rate = 0;
    quiet.figures.etaSeconds.reset();
    quiet.figures.stalledSeconds = 6;
    board.OnMessage("stavel/line%2F1/%2Fdev%2Fa/state", SlotStatusLine(quiet));
    EXPECT_NE(board.Table().find("stalled 6 s  42   0 B/s      -      3     1\n"),
              std::string::npos)
        << board.Table();
}

TEST(WatchBoardTest, AnEarlierStationsVerdictComesFromItsResultsUntilItsNextBox) {
    WatchBoard board;
    board.OnMessage("stavel/s/A1/state", R"({"state":"loading","percent":10,"passes":1})");
    board.OnMessage("stavel/s/A1/result", ResultPayload("u1", BoxResult::Fail, "box silent"));
    board.OnMessage("stavel/s/A1/state", R"({"state":"failed","passes":1,"fails":1})");
    board.OnMessage("stavel/s/A1/state", R"({"state":"port-absent","passes":1,"fails":1})");
    EXPECT_NE(board.Table().find("FAIL box silent\n"), std::string::npos) << board.Table();
    board.OnMessage("stavel/s/A1/state", R"({"state":"loading","passes":1,"fails":1})");
    EXPECT_EQ(board.Table().find("box silent"), std::string::npos) << board.Table();
}

TEST(WatchBoardTest, SlotsComeFromTheInfoAndAHostileFieldIsCutToItsColumn) {
    StationInfo info{"s",   "1.0.0.1",     "2026-12-07T02:31:07.120Z", {{"A3", "/dev/tty3"}}, {},
                     "Ann", "/srv/fw.sdl", std::string(64, 'a')};
    EXPECT_EQ(StationInfoJson(info),
              "{\"station\":\"s\",\"version\":\"1.0.0.1\",\"started\":\"2026-12-07T02:31:07."
              "120Z\",\"slots\":[{\"label\":\"A3\",\"port\":\"/dev/tty3\"}],\"job\":null,"
              "\"operator\":\"Ann\",\"image\":\"/srv/fw.sdl\",\"image_sha256\":\"" +
                  std::string(64, 'a') + "\"}");
    const std::optional<StationInfo> back = ParseStationInfo(StationInfoJson(info));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->operatorName, "Ann");
    EXPECT_FALSE(back->job);
    const std::string huge(500'000, 'x');
    {
        // The info's own codec bounds what it keeps: 256 slots, names to 200 bytes.
        const std::string long500(500, 'y');
        StationInfo many{"s", long500, "", {}, long500, {}, {}, {}};
        for (int i = 0; i < 1000; ++i) {
            many.slots.push_back({"A" + std::to_string(i), i == 0 ? long500 : "p"});
        }
        const std::optional<StationInfo> cut = ParseStationInfo(StationInfoJson(many));
        ASSERT_TRUE(cut);
        EXPECT_EQ(cut->slots.size(), 256u);
        EXPECT_EQ(cut->version.size(), 200u);
        EXPECT_EQ(cut->job->size(), 300u);
        EXPECT_EQ(cut->slots[0].port.size(), 300u);
    }
    const std::string cut = std::string(30, 'x') + "\u2026";
    WatchBoard board;
    board.OnMessage("stavel/s/status", "online");
    // Retained states an earlier run left, heard before the info and after it.
    board.OnMessage("stavel/s/A1/state", R"({"state":"passed","passes":50})");
    board.OnMessage("stavel/s/info",
                    StationInfoJson({"s",
                                     huge,
                                     "2026-12-07T02:31:07.120Z",
                                     {{"A3", "/dev/tty3"}, {huge, "COM9"}, {"A4", "A4"}},
                                     {},
                                     {},
                                     {},
                                     {}}));
    board.OnMessage("stavel/s/A0/state", R"({"state":"failed","fails":7})");
    SlotStatus hostile;
    hostile.passes = 3;
    hostile.fails = 1;
    hostile.state = SlotState::PortAbsent;
    hostile.port = PortProblem{PortTrouble::Absent, huge + "\x1b[2J"};
    std::string payload = SlotStatusLine(hostile);
    payload.replace(payload.find("port-absent"), 11, "\\u001b]0;" + huge);
    payload.replace(payload.find("\"rate\":0"), 8, "\"rate\":1e300");
    board.OnMessage("stavel/s/A3/state", payload);
    const std::vector<std::string> lines = board.OnMessage(
        "stavel/s/" + huge + "/result", ResultPayload(huge, BoxResult::Fail, huge + "\x1b[2J"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_LT(lines[0].size(), 1000u);
    EXPECT_EQ(lines[0].find('\x1b'), std::string::npos);
    const std::string table = board.Table();
    EXPECT_LT(table.size(), 1500u) << "each redraw is the table, not 5 MB";
    EXPECT_EQ(table.find('\x1b'), std::string::npos) << "nothing from outside reaches the terminal";
    EXPECT_NE(table.find("s  stavel " + std::string(15, 'x') +
                         "\u2026 since 2026-12-07T02:31:07.120Z  yield 75%, first pass 0%\n  A3 "
                         "/dev/tty3 "),
              std::string::npos)
        << table;
    EXPECT_NE(table.find("  A3 /dev/tty3" + std::string(20, ' ') + "\\x1B]0;xxxx\u2026 0 "),
              std::string::npos)
        << "an unknown state's word as it came, escaped and cut\n"
        << table;
    EXPECT_NE(table.find("  " + cut + " ?"), std::string::npos) << table;
    EXPECT_NE(table.find(std::string(34, ' ') + "\u26A0 no port: xxxx"), std::string::npos)
        << table;
    EXPECT_TRUE(board.OnMessage("stavel/s/A1/result", "").empty()) << "a clearing, not a FAIL";
    EXPECT_EQ(table.find("A1"), std::string::npos) << table;
    EXPECT_EQ(table.find("A0"), std::string::npos) << table;
    EXPECT_NE(table.find("1 station(s), 1 online; 3 passed, 1 failed\n"), std::string::npos)
        << table;
}

LineMessage StateOf(const std::string& station, const std::string& slot, int passes = 0) {
    LineMessage m;
    m.kind = LineMessage::Kind::State;
    m.station = station;
    m.slot = slot;
    m.state = SlotStatusRead{};
    m.state->status.passes = passes;
    return m;
}

// What the broker holds is not what a reader holds: a flood of made-up stations and slots, a
// reason of a megabyte, a payload nested past the bound. The model keeps the stations and slots
// it had, cuts the texts, counts what it drops, and says each kind of drop once.
TEST(WatchedLineTest, HoldsABoundedLineAndSaysEachKindOfDropOnce) {
    WatchedLine line;
    std::vector<std::string> said;
    line.SayDropsOn([&said](const std::string& text) { said.push_back(text); });
    const auto saidWith = [&said](const std::string& part) {
        return std::count_if(said.begin(), said.end(), [&part](const std::string& text) {
            return text.find(part) != std::string::npos;
        });
    };

    // 10,000 slots of one station: the first 256 are held.
    for (int i = 0; i < 10000; ++i) {
        line.Apply(StateOf("big", "A" + std::to_string(i), i));
    }
    EXPECT_EQ(line.Stations().at("big").slots.size(), 256u);
    EXPECT_EQ(line.FindSlot("big", "A255")->status.passes, 255) << "the first ones are kept";
    EXPECT_EQ(line.Dropped().slots, 9744u);
    EXPECT_EQ(line.Stations().at("big").dropped, 9744u);
    EXPECT_EQ(said, std::vector<std::string>{"MQTT: station 'big' has more than 256 slots: 'A256' "
                                             "and every further new one are ignored"});
    EXPECT_EQ(line.Apply(StateOf("big", "A7", 70)), WatchedLine::Change::Slot)
        << "a held slot still changes";
    // An info that lists more than the station may hold keeps its first slots.
    LineMessage info;
    info.kind = LineMessage::Kind::Info;
    info.station = "big";
    info.info = StationInfo{};
    for (int i = 0; i < 256; ++i) {
        info.info->slots.push_back({"B" + std::to_string(i), "p"});
    }
    line.Apply(info);
    EXPECT_TRUE(line.Stations().at("big").info->slots.empty())
        << "its 256 heard slots fill the station";
    EXPECT_EQ(line.Dropped().slots, 9744u + 256u);
    EXPECT_EQ(said.size(), 1u) << "said once for the station";
    // A label listed twice frees no room when it is cut.
    for (int i = 0; i < 255; ++i) {
        line.Apply(StateOf("dup", "A" + std::to_string(i)));
    }
    info.station = "dup";
    info.info->slots = {{"X", "p"}, {"Y", "p"}, {"Y", "p"}};
    line.Apply(info);
    EXPECT_EQ(line.Stations().at("dup").info->slots, (std::vector<StationSlot>{{"X", "p"}}));
    EXPECT_EQ(line.Stations().at("dup").held, 256u);

    // 5,000 stations: the first 4,096 are held; a hostile name is said escaped.
    for (int i = 0; i < 5000; ++i) {
        LineMessage status;
        status.station = i == 4094 ? "x\x1b[2J" : "s" + std::to_string(i);
        status.online = true;
        line.Apply(status);
    }
    EXPECT_EQ(line.Stations().size(), 4096u);
    EXPECT_EQ(line.Stations().count("s4093"), 1u) << "with big and dup, 4,096";
    EXPECT_EQ(line.Stations().count("s4095"), 0u);
    EXPECT_EQ(line.Dropped().stations, 5000u - 4094u);
    EXPECT_EQ(saidWith("MQTT: the line has more than 4096 stations: 'x\\x1B[2J' and every further "
                       "new station are ignored"),
              1);
    EXPECT_EQ(line.Apply(StateOf("s9", "A1")), WatchedLine::Change::Station)
        << "a held station still takes a new slot";

    // 65,536 slots in all: a station with room of its own is refused once the line is full.
    for (int s = 1; s < 257; ++s) {
        for (int i = 0; i < 256; ++i) {
            line.Apply(StateOf("s" + std::to_string(s), "A" + std::to_string(i)));
        }
    }
    EXPECT_EQ(line.SlotsInAll(), 65536u);
    EXPECT_EQ(line.Stations().at("s254").slots.size(), 256u);
    EXPECT_TRUE(line.Stations().at("s255").slots.empty()) << "big's and dup's filled the rest";
    EXPECT_EQ(saidWith("MQTT: the line has more than 65536 slots: slot 'A0' of station 's255' "
                       "and every further new slot are ignored"),
              1);
    line.Apply(StateOf("s300", "A1"));
    EXPECT_EQ(line.FindSlot("s300", "A1"), nullptr);
    EXPECT_EQ(saidWith("65536 slots"), 1) << "said once for the line";
    // A cleared slot gives its room back.
    LineMessage cleared = StateOf("s1", "A0");
    cleared.state.reset();
    EXPECT_EQ(line.Apply(cleared), WatchedLine::Change::Station);
    EXPECT_EQ(line.Apply(StateOf("s300", "A1")), WatchedLine::Change::Station);
    EXPECT_EQ(line.SlotsInAll(), 65536u);

    // A reason of a megabyte, in a state and in a result, is cut to 500 bytes.
    std::string payload = R"({"state":"failed","fails":1,"last":{"result":"fail","reason":")" +
                          std::string(1'000'000, 'r') + R"("},"schema":2})";
    const std::optional<LineMessage> hugeState = DecodeLineMessage("stavel/s1/A1/state", payload);
    ASSERT_TRUE(hugeState);
    line.Apply(*hugeState);
    EXPECT_EQ(line.FindSlot("s1", "A1")->status.last->reason.size(), 500u);
    const std::optional<LineMessage> hugeResult = DecodeLineMessage(
        "stavel/s2/A1/result", ResultPayload("u1", BoxResult::Fail, std::string(1'000'000, 'r')));
    ASSERT_TRUE(hugeResult && hugeResult->record);
    line.OnResult("s2", "A1", *hugeResult->record);
    EXPECT_EQ(line.FindSlot("s2", "A1")->fromResult->reason.size(), 500u);

    // Nested past the bound, or over 1 MiB: dropped unread, what the slot and the info held
    // kept, said once for the station.
    const std::string deep = std::string(100'000, '[') + std::string(100'000, ']');
    const std::optional<LineMessage> deepState = DecodeLineMessage("stavel/s1/A1/state", deep);
    ASSERT_TRUE(deepState);
    EXPECT_TRUE(deepState->overBound);
    EXPECT_EQ(line.Apply(*deepState), WatchedLine::Change::Station) << "its station's first drop";
    EXPECT_EQ(line.FindSlot("s1", "A1")->status.fails, 1) << "no clearing";
    const std::optional<LineMessage> largeInfo = DecodeLineMessage(
        "stavel/big/info", "{\"slots\":[],\"x\":\"" + std::string(kJsonMaxBytes, 'x') + "\"}");
    ASSERT_TRUE(largeInfo && largeInfo->overBound);
    EXPECT_EQ(line.Apply(*largeInfo), WatchedLine::Change::Nothing);
    EXPECT_TRUE(line.Stations().at("big").info) << "the info it had stays";
    WatchBoard watch;
    watch.SayDropsOn([&said](const std::string& text) { said.push_back(text); });
    EXPECT_TRUE(watch.OnMessage("stavel/s1/A1/result", deep).empty());
    line.Apply(*DecodeLineMessage("stavel/s1/A1/result", deep));
    EXPECT_EQ(line.Dropped().overBound, 3u);
    EXPECT_EQ(saidWith("MQTT: station 's1' sent a state of slot 'A1' larger than 1 MiB or nested "
                       "deeper than 32: dropped, as is every further one of the station"),
              1);
    EXPECT_EQ(saidWith("MQTT: station 'big' sent an info"), 1);
    EXPECT_EQ(saidWith("MQTT: station 's1' sent a result of slot 'A1'"), 1)
        << "the watch says its own model's drops";
}

TEST(MqttPublisherTest, AStationEndingWithResultsInItsSpoolSaysTheNextRunSendsThem) {
    TempDir dir;
    std::vector<std::string> said;
    MqttPublisher::Config config;
    config.station = "s";
    config.spool = OpenSpool(dir.File("spool"));
    ASSERT_TRUE(config.spool);
    config.say = [&said](const std::string& line) { said.push_back(line); };
    MqttPublisher publisher(std::move(config));
    publisher.RecordFinal("A3", "{\"id\":\"a\"}\n");
    publisher.RecordFinal("A3", "{\"id\":\"b\"}\n");
    publisher.StationEnded();
    publisher.StationEnded();
    EXPECT_EQ(said, std::vector<std::string>{"MQTT: 2 results wait in the spool " +
                                             dir.File("spool") + "; the next run sends them"});
}

}  // namespace
