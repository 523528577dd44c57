// A job with a [unit] end to end: a 4-slot station draws a counter and a list from its SQLite
// pool and serves 8 boxes, each its own serial and MAC, as the records and the simulated boxes
// (stbsim --show-region) both say; a slot killed with SIGKILL mid-box has its lease spoiled, and
// that value is never given again.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "store/UnitPool.h"
#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"

namespace {

constexpr int kRegion = 0x1000;

// The slot process of `station` that holds `device` open; 0 while none does.
int SlotServing(pid_t station, const std::string& device) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const int pid = std::atoi(entry.path().filename().c_str());
        const std::string stat = pid > 0 ? ReadBytes(entry.path().string() + "/stat") : "";
        const std::size_t afterName = stat.rfind(')');
        if (afterName == std::string::npos || std::atoi(stat.c_str() + afterName + 4) != station) {
            continue;
        }
        std::error_code error;
        for (const auto& fd : std::filesystem::directory_iterator(entry.path() / "fd", error)) {
            if (std::filesystem::read_symlink(fd.path(), error) == device) {
                return pid;
            }
        }
    }
    return 0;
}

// "box 2 region 0x1000+32: 53 4e ..." as bytes.
std::string RegionBytes(const std::string& line) {
    std::string bytes;
    for (std::size_t at = line.find(": ") + 2; at + 1 < line.size(); at += 3) {
        bytes += static_cast<char>(std::stoi(line.substr(at, 2), nullptr, 16));
    }
    return bytes;
}

std::string MacText(const std::string& six) {
    char text[18];
    const auto* b = reinterpret_cast<const unsigned char*>(six.data());
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4],
                  b[5]);
    return text;
}

class UnitRunTest : public CliTest {
  protected:
    // How the job's serial counter stands in the pool; nothing when the pool cannot be read.
    std::optional<UnitPool::Count> SerialCount() const {
        Result<std::unique_ptr<UnitPool>> pool =
            UnitPool::Open(*ParseStoreUrl("sqlite:" + m_dir.File("units.db")));
        if (!pool) {
            return std::nullopt;
        }
        Result<std::vector<UnitPool::Count>> counts =
            (*pool)->Counts({UnitPool::Source{"serial", true, 500, 1, {}}});
        if (!counts || counts->empty()) {
            return std::nullopt;
        }
        return (*counts)[0];
    }

    std::string WriteJob(const std::vector<std::string>& ports, int macCount = 31,
                         const std::string& extra = {}) {
        const UniqueFd image(open(m_dir.File("image.sdl").c_str(), O_RDONLY | O_CLOEXEC));
        std::string macs = "mac,note\n";
        for (int i = 10; i < 10 + macCount; ++i) {
            macs += "aa:bb:cc:00:00:" + std::to_string(i) + ",batch 7\n";
        }
        WriteBytes(m_dir.File("macs.csv"), macs);
        std::string text =
            "name = \"units\"\nstation = \"L3\"\nimage = \"image.sdl\"\nsha256 = \"" +
            Sha256OfFile(image.Get()).hex + "\"\nreport = \"boxes.jsonl\"\n" + extra + "[slots]\n";
        for (std::size_t k = 0; k < ports.size(); ++k) {
            text += "A" + std::to_string(k + 1) + " = \"" + ports[k] + "\"\n";
        }
        text +=
            "[unit]\n"
            "region = { offset = 0x1000, length = 32 }\n"
            "store = \"sqlite:units.db\"\n"
            "fields = [\n"
            "  { name = \"serial\", at = 0, length = 8, format = \"ascii\","
            " from = { counter = \"SN{:06d}\", start = 500 } },\n"
            "  { name = \"mac\", at = 8, length = 6, format = \"mac\","
            " from = { list = \"macs.csv\", column = \"mac\" } },\n"
            "]\n"
            "checksum = { kind = \"crc32\", over = [0x1000, 0x101C], at = 0x101C }\n";
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }
};

TEST_F(UnitRunTest, FourSlotsServeEightBoxesEachItsOwnAndAKilledSlotsValueIsNeverGivenAgain) {
    MakeImage(65536);
    // Three slots on stbsim, two boxes each; the fourth on a box of the test's that freezes
    // once past its region, then on one of two boxes.
    ChildProcess sim({ProgramPath("stbsim"), "--image", m_dir.File("image.sdl"), "--fast", "--ptys",
                      "3", "--boxes", "2", "--show-region", "0x1000:32"});
    ASSERT_TRUE(sim.WaitForStdout("stbsim: box 3 on ")) << sim.Stderr();
    // Each slot names its line through a link of the test's: once stbsim has served its boxes
    // and gone, the links go too, so that no slot opens a pseudo-terminal of the same number
    // that a test running beside this one has made meanwhile.
    std::vector<std::string> ports;
    for (int k = 1; k <= 3; ++k) {
        const std::string out = sim.Stdout();
        const std::string said = "stbsim: box " + std::to_string(k) + " on ";
        const std::size_t at = out.find(said) + said.size();
        ports.push_back(m_dir.File("slot" + std::to_string(k)));
        std::filesystem::create_symlink(out.substr(at, out.find('\n', at) - at), ports.back());
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool froze = false;
    std::vector<std::string> ownRegions;
    StbSimOptions frozen = FastBox(m_image);
    frozen.regionOffset = kRegion;
    frozen.regionLength = 32;
    frozen.silentAfterBytes = 8192;
    frozen.log = [&](const std::string& line) {
        const std::lock_guard lock(mutex);
        if (line.find(" region ") != std::string::npos) {
            ownRegions.push_back(line);
        }
        froze = froze || line.find("fell silent after") != std::string::npos;
        changed.notify_all();
    };
    auto fourth = std::make_unique<BoxRunner>(frozen);
    ASSERT_TRUE(fourth->Opened());
    // The line it is served on once its slot starts again, made now: a pseudo-terminal made
    // later could take the number of one that has gone, which another slot still names.
    StbSimOptions twice = FastBox(m_image);
    twice.regionOffset = kRegion;
    twice.regionLength = 32;
    twice.boxes = 2;
    twice.log = frozen.log;
    auto fresh = std::make_unique<BoxRunner>(twice);
    ASSERT_TRUE(fresh->Opened());
    const std::string frozenPty = fourth->SlavePath();
    std::filesystem::create_symlink(frozenPty, m_dir.File("slot4"));
    ports.push_back(m_dir.File("slot4"));
    const std::string job = WriteJob(ports);
    fourth->Start();

    ChildProcess station({ProgramPath("stavel"), "--job", job, "--loop", "--quiet"});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), [&] { return froze; }))
            << station.Stderr();
    }
    // Mid-box, its region sent: the slot is killed. It starts again on a fresh line, where two
    // boxes wait.
    const int slot = SlotServing(station.Pid(), frozenPty);
    ASSERT_NE(slot, 0);
    std::filesystem::remove(m_dir.File("slot4"));
    std::filesystem::create_symlink(fresh->SlavePath(), m_dir.File("slot4"));
    ASSERT_EQ(kill(slot, SIGKILL), 0);
    fourth->Join();
    fresh->Start();
    std::vector<std::string> frozenRegion;
    {
        const std::lock_guard lock(mutex);
        frozenRegion = std::exchange(ownRegions, {});
    }
    EXPECT_TRUE(fresh->Join().ok);
    ASSERT_TRUE(sim.WaitForStdout(": OK: ", 3)) << sim.Stdout();
    // Each slot's line goes once its boxes are done: a slot that waits for its port again must
    // not open a pseudo-terminal of a test running beside this one that got the same number.
    for (int k = 1; k <= 4; ++k) {
        std::filesystem::remove(m_dir.File("slot" + std::to_string(k)));
    }
    ASSERT_TRUE(station.WaitForStderr(": PASS", 8)) << station.Stderr();
    station.Signal(SIGINT);
    EXPECT_EQ(station.Wait().status, 1) << station.Stderr();

    // The records: 8 passes, each its own serial and MAC, and the killed slot's box, whose
    // serial and MAC no other box has.
    std::set<std::string> serials;
    std::set<std::string> macs;
    std::optional<Json> killed;
    for (const Json& r : Records(ReportPath())) {
        if (JsonStringAt(r, "result") != "pass") {
            EXPECT_EQ(JsonStringAt(r, "reason_code"), "slot-crashed") << r;
            killed = r;
            continue;
        }
        serials.insert(JsonStringAt(r.at("unit"), "serial"));
        macs.insert(JsonStringAt(r.at("unit"), "mac"));
        EXPECT_EQ(JsonStringAt(r, "served_sha256").size(), 64u);
        EXPECT_NE(JsonStringAt(r, "served_sha256"), JsonStringAt(r, "image_sha256"));
    }
    EXPECT_EQ(serials.size(), 8u);
    EXPECT_EQ(macs.size(), 8u);
    ASSERT_TRUE(killed) << station.Stderr();
    const std::string killedSerial = JsonStringAt(killed->at("unit"), "serial");
    EXPECT_EQ(serials.count(killedSerial), 0u);
    EXPECT_EQ(macs.count(JsonStringAt(killed->at("unit"), "mac")), 0u);
    ASSERT_EQ(frozenRegion.size(), 1u);
    EXPECT_EQ(RegionBytes(frozenRegion[0]).substr(0, 8), killedSerial)
        << "the killed box had its region whole before it froze";

    // What the boxes received in their region is what their records say.
    std::vector<std::string> lines = ownRegions;
    const std::string out = sim.Stdout();
    for (std::size_t at = out.find(" region 0x1000+32: "); at != std::string::npos;
         at = out.find(" region 0x1000+32: ", at + 1)) {
        lines.push_back(out.substr(at, out.find('\n', at) - at));
    }
    std::set<std::string> received;
    std::set<std::string> receivedMacs;
    for (const std::string& line : lines) {
        ASSERT_EQ(line.find(" .."), std::string::npos) << "every box had its region whole";
        const std::string bytes = RegionBytes(line);
        received.insert(bytes.substr(0, 8));
        receivedMacs.insert(MacText(bytes.substr(8, 6)));
    }
    EXPECT_EQ(received, serials);
    EXPECT_EQ(receivedMacs, macs);

    // The pool: 8 used, the killed box's values spoiled, none left leased (what the waiting
    // slots held when the station finished went back free).
    const std::optional<UnitPool::Count> counted = SerialCount();
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->used, 8);
    EXPECT_EQ(counted->spoiled, 1);
    EXPECT_EQ(counted->leased, 0);
}

TEST_F(UnitRunTest, ASingleRunDrawsItsOwnAndAnEmptyPoolFailsTheBoxInHandBeforeAnyByte) {
    MakeImage(16384);
    StbSimOptions options = FastBox(m_image);
    options.regionOffset = kRegion;
    options.regionLength = 32;
    options.answerTimeoutMs = 20000;
    BoxRunner first(options);
    BoxRunner second(options);
    ASSERT_TRUE(first.Opened() && second.Opened());
    first.Start();
    ChildProcess one({ProgramPath("stavel"), "--job",
                      WriteJob({first.SlavePath()}, 1, "capture = \"caps\"\n"), "--quiet"});
    EXPECT_EQ(one.Wait().status, 0) << one.Stderr();
    EXPECT_TRUE(first.Join().ok);

    // Its capture replays against a tool that serves the image without a unit: the region is
    // checked apart, and said so; every other byte is the image's.
    std::string capture;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.File("caps"))) {
        capture = entry.path().string();
    }
    ChildProcess replay(
        {ProgramPath("stbsim"), "--replay", capture, "--image", m_dir.File("image.sdl"), "--fast"});
    ASSERT_TRUE(replay.WaitForStdout("\n")) << replay.Stderr();
    const std::string on = replay.Stdout().substr(15, replay.Stdout().find('\n') - 15);
    ChildProcess plain(StavelServe(on, m_dir.File("image.sdl"), {"--quiet"}));
    EXPECT_EQ(replay.Wait().status, 0) << replay.Stdout() << replay.Stderr();
    EXPECT_EQ(plain.Wait().status, 0);
    EXPECT_NE(replay.Stdout().find("; the unit's region (0x1000, 32 bytes) checked apart: 1 "
                                   "answer(s) held another box's own data there"),
              std::string::npos)
        << replay.Stdout();

    // The list's one MAC is spent: the next box has START and the time answered, then fails
    // for its unit with nothing of the image sent, and the run ends with 9.
    second.Start();
    ChildProcess two(
        {ProgramPath("stavel"), "--job", WriteJob({second.SlavePath()}, 1), "--quiet"});
    EXPECT_EQ(two.Wait().status, 9) << two.Stderr();
    EXPECT_NE(two.Stderr().find("stavel: unit pool empty: mac\n"), std::string::npos)
        << two.Stderr();
    second.Stop();
    EXPECT_FALSE(second.Join().ok);
    EXPECT_EQ(second.Stats().imageBytes, 0u);
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(JsonStringAt(records[0].at("unit"), "mac"), "aa:bb:cc:00:00:10");
    EXPECT_EQ(JsonStringAt(records[1], "reason"), "unit pool empty: mac");
    EXPECT_EQ(JsonStringAt(records[1], "reason_code"), "unit-pool-empty");
    EXPECT_EQ(JsonWholeAt(records[1], "bytes"), 0);
    EXPECT_TRUE(records[1].at("unit").is_null());

    // Nothing is left leased: the counter's value drawn for the second box went back.
    const std::optional<UnitPool::Count> counted = SerialCount();
    ASSERT_TRUE(counted);
    EXPECT_EQ(counted->used, 1);
    EXPECT_EQ(counted->leased, 0);
}

}  // namespace
