// The board behind the server, in memory: what the broker says becomes the snapshot and the
// events a page reads, whatever the names hold; and its history outlives a restart, bounded,
// each record counted once, a line torn by a crash left behind.

#include "board/BoardService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "board/HistoryResult.h"
#include "download/SlotStatusCodec.h"
#include "mqtt/TopicName.h"
#include "tests/board/BoardTestData.h"
#include "tests/support/files/TempDir.h"

namespace {

const std::int64_t kNow = MillisOfIsoTime("2026-03-02T12:00:00.000Z").value_or(0);

BoardService::Config Config(const std::optional<std::string>& history = std::nullopt,
                            std::size_t most = 1000) {
    BoardService::Config config;
    config.historyPath = history.value_or("");
    config.limits.most = most;
    // Ten seconds a look: later than any plot the board keeps for a while.
    config.now = [at = kNow]() mutable { return at += 10'000; };
    return config;
}

std::unique_ptr<BoardService> Open(BoardService::Config config) {
    Result<std::unique_ptr<BoardService>> service = BoardService::Open(std::move(config));
    EXPECT_TRUE(service) << (service ? "" : service.Failure().Describe());
    return service ? std::move(*service) : nullptr;
}

std::string End(int minute) {
    char text[32];
    std::snprintf(text, sizeof text, "2026-03-02T11:%02d:00.000Z", minute);
    return text;
}

int CountOfLines(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

int Boxes(const BoardService& service) {
    const Json plot = ParseJsonObject(service.Plot(8, "", "")).value_or(Json::object());
    int boxes = 0;
    for (const Json& row : plot.value("stations", Json::array())) {
        boxes += row[1].get<int>() + row[2].get<int>();
    }
    return boxes;
}

TEST(BoardServiceTest, AHostileStationShowsAsItsOwnTextInTheSnapshotAndTheEvents) {
    std::unique_ptr<BoardService> board = Open(Config());
    ASSERT_TRUE(board);
    const std::string name = "<img src=x onerror=alert(1)>\n\"event: x\"\x1b[2J";
    const std::string base = "stavel/" + EncodeTopicLevel(name) + "/";
    board->OnMessage(base + "status", "online");
    board->OnMessage(base + "info",
                     R"({"slots":[{"label":"A","port":"/dev/ttyUSB0"}],"operator":"<b>Ann</b>"})");
    // An earlier run's slot, left retained: not one the info lists.
    board->OnMessage(base + "Z/state", R"({"state":"passed","passes":7})");
    board->OnMessage(base + "A/state",
                     R"({"state":"loading","percent":1e300,"passes":-5,"fails":3})");
    std::shared_ptr<const std::string> snapshotAtJoin;
    std::unique_ptr<EventHub::Stream> stream = board->OpenStream(snapshotAtJoin);
    ASSERT_TRUE(stream);
    board->OnMessage(base + "A/result",
                     RecordPayload("id-1", "fail", End(1), 4, "</script>\ndata: forged", "SN-1"));
    board->OnMessage(base + "A/result",
                     RecordPayload("id-1", "fail", End(1), 4, "</script>\ndata: forged", "SN-1"));

    const Json snapshot = ParseJsonObject(*board->Snapshot()).value_or(Json::object());
    ASSERT_EQ(snapshot["stations"].size(), 1u) << snapshot;
    const Json& station = snapshot["stations"][0];
    EXPECT_EQ(station["name"], name);
    EXPECT_EQ(station["online"], true);
    EXPECT_EQ(station["operator"], "<b>Ann</b>");
    ASSERT_EQ(station["slots"].size(), 1u) << "only the slots the info lists";
    const Json& slot = station["slots"][0];
    EXPECT_EQ(slot["name"], "A");
    EXPECT_EQ(slot["port"], "/dev/ttyUSB0");
    EXPECT_EQ(slot["words"], "loading");
    EXPECT_EQ(slot["percent"], 100);
    EXPECT_EQ(slot["passes"], 0);
    EXPECT_EQ(slot["fails"], 3);
    EXPECT_EQ(slot["last"], nullptr) << "its station still says the box loads";
    ASSERT_EQ(snapshot["failures"].size(), 1u) << "the repeat is not a second failure";
    EXPECT_EQ(snapshot["failures"][0]["reason"], "</script>\ndata: forged");
    EXPECT_EQ(snapshot["failures"][0]["box_id"], "SN-1");

    // The stream: the snapshot, then the one result; each event one data line, so no text can
    // forge an event of its own.
    const std::string first = EventFrame("snapshot", *snapshotAtJoin);
    std::string events;
    ASSERT_EQ(stream->Take(events, std::chrono::seconds(0)), EventHub::Stream::Taken::Frames);
    // The result, then its slot's tile as the desktop station draws it.
    const std::size_t second = events.find("\n\n") + 2;
    EXPECT_EQ(events.rfind("event: result\ndata: {\"id\":\"id-1\"", 0), 0u) << events;
    EXPECT_EQ(events.find("event: slot\ndata: {", second), second) << events;
    EXPECT_NE(events.find(
                  R"("look":{"word":"LOADING","symbol":"▶","tone":"busy","bar":true,"percent":100)",
                  second),
              std::string::npos)
        << events;
    for (const std::string& frame : {first, events.substr(0, second), events.substr(second)}) {
        EXPECT_EQ(frame.find('\n'), frame.find("\ndata: ")) << frame;
        EXPECT_EQ(frame.find("\n", frame.find("\ndata: ") + 1), frame.size() - 2) << frame;
    }
    EXPECT_EQ(EventFrame("x", "a\r\nb"), "event: x\ndata: a\ndata: \ndata: b\n\n");
}

TEST(BoardServiceTest, TilesKeepTheVerdictWithThePortBeneathAndShowAStalledBoxAndAHint) {
    std::unique_ptr<BoardService> board = Open(Config());
    ASSERT_TRUE(board);
    board->OnMessage("stavel/L/info",
                     R"({"slots":[{"label":"A1","port":"p1"},{"label":"A2","port":"p2"},)"
                     R"({"label":"A3","port":"p3"}]})");
    SlotStatus gone;
    gone.state = SlotState::PortAbsent;
    gone.fails = 1;
    gone.aborts = 1;
    gone.last = LastVerdict{BoxResult::Fail, "port lost at 23 % (5.2 s)", "port-lost", "SN-9", {}};
    gone.port = PortProblem{PortTrouble::Absent, "p1: open: No such file or directory"};
    board->OnMessage("stavel/L/A1/state", SlotStatusLine(gone));
    SlotStatus quiet;
    quiet.state = SlotState::Loading;
    quiet.figures.percent = 25;
    quiet.figures.stalledSeconds = 6;
    board->OnMessage("stavel/L/A2/state", SlotStatusLine(quiet));
    SlotStatus talking;
    talking.state = SlotState::NoRequest;
    talking.hint = "is it in download mode?";
    board->OnMessage("stavel/L/A3/state", SlotStatusLine(talking));
    board->OnMessage("stavel/M/A1/state", R"({"state":"waiting-for-box","aborts":2})");

    const Json snapshot = ParseJsonObject(*board->Snapshot()).value_or(Json::object());
    ASSERT_EQ(snapshot["stations"].size(), 2u) << snapshot;
    const Json& line = snapshot["stations"][0];
    EXPECT_EQ(line["yield"], 0) << "one failed, one aborted";
    EXPECT_EQ(snapshot["stations"][1]["yield"], nullptr) << "aborted boxes judge nothing";
    const Json& a1 = line["slots"][0]["look"];
    EXPECT_EQ(a1["word"], "FAIL");
    EXPECT_EQ(a1["detail"], "port lost at 23 % (5.2 s)");
    EXPECT_EQ(a1["box_id"], "box SN-9");
    EXPECT_EQ(a1["note"], "\u26A0 no port: p1: open: No such file or directory");
    EXPECT_EQ(line["slots"][0]["last"]["reason_code"], "port-lost");
    EXPECT_EQ(line["slots"][0]["port_problem"]["trouble"], "absent");
    EXPECT_EQ(line["slots"][1]["look"]["progress"], "25 %, stalled 6 s");
    EXPECT_EQ(line["slots"][1]["stalled"], 6);
    EXPECT_EQ(line["slots"][1]["rate"], 0);
    EXPECT_EQ(line["slots"][1]["eta"], nullptr);
    EXPECT_EQ(line["slots"][2]["look"]["word"], "NO REQUEST");
    EXPECT_EQ(line["slots"][2]["look"]["detail"], "is it in download mode?");
}

TEST(BoardServiceTest, TheHistoryOutlivesARestartBoundedAndCountingEachRecordOnce) {
    TempDir dir;
    const std::string path = dir.File("history.jsonl");
    const std::string topic = "stavel/line7/A3/result";
    {
        // 8 results at most: the files rotate every 2 lines and keep 4 older segments.
        std::unique_ptr<BoardService> board = Open(Config(path, 8));
        ASSERT_TRUE(board);
        for (int i = 1; i <= 10; ++i) {
            board->OnMessage(
                topic, RecordPayload("id-" + std::to_string(i), i == 9 ? "fail" : "pass", End(i),
                                     40, i == 9 ? "box silent" : "", "SN"));
        }
        board->OnMessage(topic, RecordPayload("id-10", "pass", End(10), 40));
        EXPECT_EQ(board->HistorySize(), 8u);
        EXPECT_EQ(Boxes(*board), 8);
        Result<std::unique_ptr<BoardService>> second = BoardService::Open(Config(path, 8));
        ASSERT_FALSE(second);
        EXPECT_NE(second.Failure().Describe().find("another board keeps its history there"),
                  std::string::npos)
            << second.Failure().Describe();
    }
    for (const char* segment : {"", ".1", ".2", ".3", ".4"}) {
        EXPECT_EQ(CountOfLines(ReadBytes(path + segment)), 2) << segment;
    }
    EXPECT_EQ(ReadBytes(path + ".5"), "");
    // A crash in the middle of a line.
    std::ofstream(path, std::ios::app) << R"({"id":"id-11","station":"line7","slot":"A3","res)";

    std::unique_ptr<BoardService> board = Open(Config(path, 8));
    ASSERT_TRUE(board);
    EXPECT_EQ(board->HistorySize(), 8u);
    // A station's spool sending again what the board heard before the restart.
    board->OnMessage(topic, RecordPayload("id-9", "fail", End(9), 40, "box silent"));
    board->OnMessage(topic, RecordPayload("id-12", "pass", End(12), 40));
    EXPECT_EQ(Boxes(*board), 8) << "id-9 once; id-12 in, the oldest out";
    const Json snapshot = ParseJsonObject(*board->Snapshot()).value_or(Json::object());
    ASSERT_EQ(snapshot["failures"].size(), 1u) << snapshot;
    EXPECT_EQ(snapshot["failures"][0]["reason"], "box silent");
    board.reset();
    // The torn line was ended before anything else was written (and its file full, it rotated).
    const std::string torn = ReadBytes(path + ".1");
    ASSERT_GE(torn.size(), 5u);
    EXPECT_EQ(torn.substr(torn.size() - 5), "\"res\n") << torn;
    EXPECT_EQ(ReadBytes(path).rfind("{\"id\":\"id-12\"", 0), 0u) << ReadBytes(path);
}

}  // namespace
