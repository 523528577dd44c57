// A station's local control socket: made for the station's user alone, a socket left by a
// killed station replaced, a second station of the same name refused, and each request's answer
// (status as JSON through the slot status codec, a put-back that reaches the station, and one
// line for a station not running, an unknown slot or command).

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <cstring>

#include "download/SlotStatusCodec.h"
#include "station/Station.h"
#include "station/StationControl.h"
#include "tests/station/MemoryTransport.h"
#include "tests/support/files/TempDir.h"

namespace {

TEST(StationControl, OneStationANameAndEachRequestAnsweredInOneLine) {
    TempDir dir;
    const std::string runtime = dir.File("run");
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    MemoryTransport slots;
    StationConfig config;
    config.ports = {"/nonexistent/tty1"};
    config.labels = {"A1"};
    config.slot.image = "/proc/self/exe";
    config.transport = &slots;
    Station station(config);

    // A socket a killed station left: nothing answers on it, and it is replaced.
    mkdir(dir.File("run/stavel").c_str(), 0700);
    const std::string path = ControlSocketPath("L3-S1");
    ASSERT_EQ(path, dir.File("run/stavel/L3-S1.sock"));
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.c_str());
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        close(fd);
    }
    StationControl control;
    bool running = true;
    const Result<void> opened = control.Open("L3-S1", station, running);
    ASSERT_TRUE(opened) << opened.Failure().Describe();
    EXPECT_FALSE(running);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(dir.File("run/stavel").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A second station of the name is refused before it serves.
    StationControl second;
    EXPECT_FALSE(second.Open("L3-S1", station, running));
    EXPECT_TRUE(running);

    SlotStatus a1;
    a1.slot = "A1";
    a1.passes = 3;
    a1.firstPasses = 2;
    a1.state = SlotState::TakenOut;
    a1.hint = "taken out: 3 boxes failed in a row: check the fixture";
    control.OnSlots({a1});
    const Result<std::string> status = AskStation("L3-S1", "status");
    ASSERT_TRUE(status) << status.Failure().Describe();
    const std::optional<Json> json = ParseJsonObject("{\"all\":" + *status + "}");
    ASSERT_TRUE(json) << *status;
    const Json& first = (*json)["all"][0];
    EXPECT_EQ(JsonStringAt(first, "slot"), "A1");
    const std::optional<SlotStatusRead> read = SlotStatusFromJson(first);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->status.state, SlotState::TakenOut);
    EXPECT_EQ(read->status.firstPasses, 2);
    EXPECT_EQ(read->status.hint, a1.hint);

    EXPECT_EQ(*AskStation("L3-S1", "put-back A1"), "ok");
    EXPECT_EQ(*AskStation("L3-S1", "put-back B7"), "error: the station has no slot B7");
    EXPECT_EQ(*AskStation("L3-S1", "take-out"), "error: take-out names a slot (take-out A3)");
    EXPECT_EQ(*AskStation("L3-S1", "reboot A1"),
              "error: unknown command 'reboot A1'; a station knows put-back SLOT, take-out SLOT, "
              "scan [SLOT] ID, reprint SLOT, finish and status");
    const Result<std::string> nobody = AskStation("L4", "status");
    ASSERT_FALSE(nobody);
    EXPECT_EQ(nobody.Failure().Describe(),
              "L4: no station of this name is running (nothing "
              "answers on " +
                  dir.File("run/stavel/L4.sock") + ")");
    EXPECT_FALSE(AskStation("../etc", "status"));
    unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
