// A station and the line's board keeping their records in one real PostgreSQL, which is stopped
// in the middle of the run and started again: every record reaches it exactly once, though both
// the station and the board write it, and each says the outage once.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "store/RecordStore.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/mqtt/MqttBroker.h"
#include "tests/support/postgres/PostgresServer.h"
#include "tests/support/process/ChildProcess.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

using namespace std::chrono_literals;

// A simulated box (boxes one after another) on a pseudo-terminal of its own.
struct Boxes {
    explicit Boxes(StbSimOptions options) : sim(std::move(options)) {
        opened = sim.OpenPty().Ok();
        runner = std::thread([this] { sim.Run(); });
    }
    ~Boxes() {
        sim.Stop();
        runner.join();
    }
    StbSimulator sim;
    bool opened = false;
    std::thread runner;
};

std::int64_t Records(const std::string& url) {
    auto store = RecordStore::Open(*ParseStoreUrl(url));
    return store ? (*store)->Count().Ok() ? *(*store)->Count() : -1 : -1;
}

TEST(BoardDatabaseTest, AStationAndABoardKeepEveryRecordOnceThroughAStoppedPostgresql) {
    std::string why;
    PostgresServer* server = PostgresServer::Shared(why);
    if (server == nullptr) {
        GTEST_SKIP() << why;
    }
    const std::string db = server->NewDatabase();
    ASSERT_FALSE(db.empty()) << server->Log();
    TempDir dir;
    MqttBroker broker({dir.Path()});
    ASSERT_TRUE(broker.Start()) << broker.Log();
    // The board's spool for a server's database lies in its state folder: the test's own.
    ChildProcess board({ProgramPath("stavel"), "--watch", broker.Url(), "--http",
                        std::to_string(FreeLocalPort()), "--db", db},
                       {"XDG_STATE_HOME=" + dir.Path()});
    ASSERT_TRUE(board.WaitForStderr("MQTT: watching")) << board.Stderr();

    // Two slots, three boxes each, paced as on a bench: about a second a box.
    const std::vector<std::uint8_t> bytes = stbsim::MakeTestImage(10000);
    const std::string image = dir.File("image.sdl");
    ASSERT_TRUE(stbsim::WriteImageFile(image, bytes));
    std::vector<std::unique_ptr<Boxes>> slots;
    for (int i = 0; i < 2; ++i) {
        StbSimOptions options;
        options.image = bytes;
        options.lineBytesPerSecond = 11520;
        options.boxes = 3;
        slots.push_back(std::make_unique<Boxes>(std::move(options)));
        ASSERT_TRUE(slots.back()->opened);
    }
    const std::string report = dir.File("boxes.jsonl");
    ChildProcess station({ProgramPath("stavel"), "-p", "A1=" + slots[0]->sim.SlavePath(), "-p",
                          "A2=" + slots[1]->sim.SlavePath(), "-i", image, "--loop", "--count", "3",
                          "--report", report, "--db", db, "--mqtt", broker.Url(), "--station-name",
                          "line7"});
    ASSERT_TRUE(station.WaitForStderr(": PASS in", 1, 30s)) << station.Stderr();
    server->Stop();
    const int before = CountOf(station.Stderr(), ": PASS in");
    // Two boxes at least while the database is away.
    ASSERT_TRUE(station.WaitForStderr(": PASS in", before + 2, 30s)) << station.Stderr();
    ASSERT_TRUE(server->Start()) << server->Log();
    const ChildProcess::End end = station.Wait(60s);
    EXPECT_TRUE(end.exited && end.status == 0) << station.Stderr();

    // The station wrote what it could before it ended; the board writes what it heard once it
    // tries again. Both are on the way: wait for the six, then for anything more.
    for (int i = 0; i < 200 && Records(db) < 6; ++i) {
        std::this_thread::sleep_for(50ms);
    }
    std::this_thread::sleep_for(2500ms);  // the board's next try, which must add nothing
    EXPECT_EQ(Records(db), 6) << station.Stderr() << board.Stderr();
    auto store = RecordStore::Open(*ParseStoreUrl(db));
    ASSERT_TRUE(store);
    std::size_t ids = 0;
    for (const std::string& line : {ReadBytes(report)}) {
        for (std::size_t at = line.find("{\"id\":\""); at != std::string::npos;
             at = line.find("{\"id\":\"", at + 1)) {
            const std::string id = line.substr(at + 7, 36);
            RecordStore::Filter all{0, 4102444800000, {}, {}, {}};
            bool found = false;
            ASSERT_TRUE((*store)->Export(all, [&](const std::string& record) {
                found = found || record.find(id) != std::string::npos;
                return !found;
            }));
            EXPECT_TRUE(found) << id;
            ++ids;
        }
    }
    EXPECT_EQ(ids, 6u);
    EXPECT_EQ(CountOf(station.Stderr(), "database: cannot reach " + db), 1) << station.Stderr();
    board.Signal(SIGTERM);
    board.Wait();
    EXPECT_LE(CountOf(board.Stderr(), "database: cannot reach " + db), 1) << board.Stderr();
}

}  // namespace
