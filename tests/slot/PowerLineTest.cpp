// A slot's power on its port's DTR or RTS line: the station's word becomes the line's state by
// the job's polarity, the port open now gets it at once, every later open gets it right after
// the open, and a line that cannot be set is said. Each modem-line call is seen through Sys().

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <vector>

#include "platform/base/Sys.h"
#include "slot/PowerLineInput.h"

namespace {

struct Call {
    int fd;
    unsigned long request;
    int bits;
    bool operator==(const Call&) const = default;
};

std::vector<Call> g_calls;
int g_failWith = 0;

int SeenIoctl(int fd, unsigned long request, int* value) {
    g_calls.push_back(Call{fd, request, *value});
    if (g_failWith != 0) {
        errno = g_failWith;
        return -1;
    }
    return 0;
}

TEST(PowerLine, TheStationsWordIsHeldOnTheLineForEveryOpenByTheJobsPolarity) {
    SysCalls calls = RealSysCalls();
    calls.ioctlInt = SeenIoctl;
    const ScopedSysCalls seen(calls);
    g_calls.clear();

    SlotConfig dtr;
    dtr.port = "/dev/ttyUSB3";
    dtr.powerLine = "dtr";
    dtr.powerOnAsserted = false;  // the relay closes while the line is cleared
    EXPECT_EQ(PowerLineFor(dtr, TextInput(SlotInput::Kind::PowerSwitch, "on")),
              (HeldLine{ModemLine::Dtr, false}));
    EXPECT_FALSE(PowerLineFor(dtr, TextInput(SlotInput::Kind::PowerCycled, "on")));
    EXPECT_FALSE(PowerLineFor(dtr, TextInput(SlotInput::Kind::PowerSwitch, "reboot")));
    EXPECT_FALSE(PowerLineFor(SlotConfig{}, TextInput(SlotInput::Kind::PowerSwitch, "on")));

    // No port open: the line waits for the next open, which gets it at once.
    EXPECT_FALSE(SwitchPowerLine(dtr, TextInput(SlotInput::Kind::PowerSwitch, "on")));
    EXPECT_TRUE(g_calls.empty());
    EXPECT_TRUE(ModemLinePortOpened(7).Ok());
    EXPECT_EQ(g_calls, (std::vector<Call>{{7, TIOCMBIC, TIOCM_DTR}}));
    // The port open now follows each switch; a port closed and opened again gets it again.
    EXPECT_FALSE(SwitchPowerLine(dtr, TextInput(SlotInput::Kind::PowerSwitch, "off")));
    ModemLinePortClosing(7);
    EXPECT_TRUE(ModemLinePortOpened(9).Ok());
    EXPECT_EQ(g_calls,
              (std::vector<Call>{
                  {7, TIOCMBIC, TIOCM_DTR}, {7, TIOCMBIS, TIOCM_DTR}, {9, TIOCMBIS, TIOCM_DTR}}));

    // RTS, on while asserted; a line the adapter cannot set is said.
    SlotConfig rts = dtr;
    rts.powerLine = "rts";
    rts.powerOnAsserted = true;
    g_calls.clear();
    g_failWith = EINVAL;
    const std::optional<std::string> failed =
        SwitchPowerLine(rts, TextInput(SlotInput::Kind::PowerSwitch, "off"));
    g_failWith = 0;
    EXPECT_EQ(g_calls, (std::vector<Call>{{9, TIOCMBIC, TIOCM_RTS}}));
    ASSERT_TRUE(failed);
    EXPECT_TRUE(failed->starts_with("power control failed: clearing RTS: /dev/ttyUSB3: "))
        << *failed;
    EXPECT_NE(failed->find("Invalid argument"), std::string::npos) << *failed;

    // Without a held line an open touches nothing.
    ModemLinePortClosing(9);
    HoldModemLine(std::nullopt);
    g_calls.clear();
    EXPECT_TRUE(ModemLinePortOpened(11).Ok());
    ModemLinePortClosing(11);
    EXPECT_TRUE(g_calls.empty());
}

}  // namespace
