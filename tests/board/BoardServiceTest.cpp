// The board behind the server: what the broker says becomes the snapshot and the events a page
// reads, whatever the names hold; its history is the database, each record counted once across
// a restart, found by its box and exported; an older board's history files are read in once.

#include "board/BoardService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fstream>
#include <mutex>

#include "board/HistoryResult.h"
#include "download/SlotStatusCodec.h"
#include "mqtt/TopicName.h"
#include "tests/board/BoardTestData.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/process/ChildProcess.h"

namespace {

const std::int64_t kNow = MillisOfIsoTime("2026-03-02T12:00:00.000Z").value_or(0);

BoardService::Config Config() {
    BoardService::Config config;
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

// What the database has taken, waited for through the board's own callback, not a clock.
struct Taken {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t records = 0;

    std::function<void(std::size_t)> Hook() {
        return [this](std::size_t n) {
            std::lock_guard lock(mutex);
            records += n;
            changed.notify_all();
        };
    }
    void WaitFor(std::size_t n) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return records >= n; });
    }
};

TEST(BoardServiceTest, TheHistoryIsTheDatabaseCountingEachRecordOnceAcrossARestart) {
    TempDir dir;
    const std::string db = "sqlite:" + dir.File("board.db");
    const std::string topic = "stavel/line7/A3/result";
    std::vector<std::string> said;
    Taken taken;
    {
        BoardService::Config config = Config();
        config.db = db;
        config.written = taken.Hook();
        std::unique_ptr<BoardService> board = Open(std::move(config));
        ASSERT_TRUE(board);
        std::shared_ptr<const std::string> first;
        std::unique_ptr<EventHub::Stream> stream = board->OpenStream(first);
        for (int i = 1; i <= 10; ++i) {
            board->OnMessage(
                topic, RecordPayload("id-" + std::to_string(i), i == 9 ? "fail" : "pass", End(i),
                                     40, i == 9 ? "box silent" : "", "SN"));
        }
        board->OnMessage(topic, RecordPayload("id-10", "pass", End(10), 40));
        std::string events;
        ASSERT_EQ(stream->Take(events, std::chrono::seconds(0)), EventHub::Stream::Taken::Frames);
        EXPECT_EQ(CountOf(events, "event: result\n"), 10) << "the repeat is no event";
        taken.WaitFor(10);
        EXPECT_EQ(Boxes(*board), 10);
        EXPECT_EQ(board->HistorySize(), 10);
    }
    // Another board (a restart, or a station writing the same records) on the same database.
    BoardService::Config config = Config();
    config.db = db;
    config.written = taken.Hook();
    std::unique_ptr<BoardService> board = Open(std::move(config));
    ASSERT_TRUE(board);
    EXPECT_EQ(Boxes(*board), 10);
    Json snapshot = ParseJsonObject(*board->Snapshot()).value_or(Json::object());
    ASSERT_EQ(snapshot["failures"].size(), 1u) << "the last failures, from the database";
    EXPECT_EQ(snapshot["failures"][0]["reason"], "box silent");
    EXPECT_EQ(snapshot["failures"][0]["station"], "line7");
    // A station's spool sending again what the board heard before the restart.
    board->OnMessage(topic, RecordPayload("id-9", "fail", End(9), 40, "box silent"));
    board->OnMessage(topic, RecordPayload("id-12", "pass", End(12), 40));
    taken.WaitFor(11);  // id-9 was there: not new to the database
    EXPECT_EQ(Boxes(*board), 11) << "id-9 once; id-12 in";
    // The box is found, and the Pareto of the plot's time and place counts its failure.
    const Json found = ParseJsonObject(board->Find("SN")).value_or(Json::object());
    ASSERT_EQ(found["records"].size(), 10u) << found;
    EXPECT_EQ(found["records"][0]["id"], "id-1");
    EXPECT_EQ(JsonLine(ParseJsonObject(board->Find("SN' OR '1'='1")).value_or(Json())["records"]),
              "[]");
    const Json plot = ParseJsonObject(board->Plot(8, "line7", "")).value_or(Json::object());
    EXPECT_EQ(JsonLine(plot["pareto"]), R"([["",1,1]])") << "no reason code in these payloads";
    std::string csv;
    ASSERT_TRUE(board->ExportCsv(8, "line7", "A3", [&](const std::string& piece) {
        csv += piece;
        return true;
    }));
    EXPECT_EQ(csv.rfind("id,slot,device,", 0), 0u) << csv;
    EXPECT_EQ(CountOf(csv, "\r\n"), 12) << csv;
}

TEST(BoardServiceTest, AnOlderBoardsHistoryFilesAreReadInOnceAndRenamed) {
    TempDir dir;
    const std::string history = dir.File("history.jsonl");
    // As boards before the database kept it: the older segment, then the newer one with a line
    // torn by a crash.
    WriteBytes(history + ".1",
               JsonLine(HistoryJson(
                   {"h-1", "line7", "A1", BoxResult::Pass, kNow - 3600'000, 40, "", "SN1"})) +
                   "\n" +
                   JsonLine(HistoryJson({"h-2", "line7", "A2", BoxResult::Fail, kNow - 3000'000, 12,
                                         "box silent for 120 s", "SN2"})) +
                   "\n");
    WriteBytes(
        history,
        JsonLine(HistoryJson({"h-3", "line8", "A1", BoxResult::Pass, kNow - 600'000, 30, "", ""})) +
            "\n{\"id\":\"h-4\",\"sta");
    std::vector<std::string> said;
    BoardService::Config config = Config();
    config.db = "sqlite:" + history + ".db";
    config.importFrom = history;
    config.say = [&said](const std::string& line) { said.push_back(line); };
    std::unique_ptr<BoardService> board = Open(config);
    ASSERT_TRUE(board);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "board: 3 results of the history " + history +
                           " (2 file(s)) read into sqlite:" + history +
                           ".db; the old files are renamed " + history + ".imported, ...");
    EXPECT_EQ(board->HistorySize(), 3);
    EXPECT_EQ(Boxes(*board), 3);
    EXPECT_EQ(ReadBytes(history), "");
    EXPECT_NE(ReadBytes(history + ".imported"), "");
    EXPECT_NE(ReadBytes(history + ".1.imported"), "");
    const Json snapshot = ParseJsonObject(*board->Snapshot()).value_or(Json::object());
    ASSERT_EQ(snapshot["failures"].size(), 1u);
    EXPECT_EQ(snapshot["failures"][0]["box_id"], "SN2");
    board.reset();
    // Read once: the next start finds only the database.
    said.clear();
    board = Open(config);
    ASSERT_TRUE(board);
    EXPECT_TRUE(said.empty());
    EXPECT_EQ(board->HistorySize(), 3);
}

}  // namespace
