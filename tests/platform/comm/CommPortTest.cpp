#include "platform/comm/CommPort.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>
#include <vector>

#include "platform/base/Sys.h"

#include "platform/comm/CustomBaud.h"
#include "platform/comm/RawTermios.h"
#include "tests/support/pty/Pty.h"

namespace {

std::unique_ptr<CommPort> OpenOrFail(const std::string& path) {
    SysResult r;
    auto port = CommPort::Open(path, &r);
    EXPECT_TRUE(port) << r.call << ": " << SysStatusName(r.status);
    return port;
}

// Starts from a cooked tty with every flag that cfmakeraw leaves alone switched on, so the
// test sees each of them cleared.
TEST(CommPort, ConfigureMakesTheLineRawEvenFromACookedStart) {
    Pty pty;
    termios cooked{};
    tcgetattr(pty.SlaveFd(), &cooked);
    cooked.c_cflag |= CRTSCTS | HUPCL | CSTOPB;
    cooked.c_iflag |= IXON | IXOFF | IXANY | INPCK | ICRNL;
    cooked.c_oflag |= OPOST | ONLCR;
    cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    ASSERT_EQ(tcsetattr(pty.SlaveFd(), TCSANOW, &cooked), 0);

    auto port = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->Configure(LineSettings{115200, 8, ONESTOPBIT, NOPARITY}).Ok());
    termios t{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &t), 0);
    EXPECT_EQ(t.c_cflag & (CRTSCTS | HUPCL | CSTOPB | PARENB), 0u);
    EXPECT_EQ(t.c_cflag & (CSIZE | CLOCAL | CREAD), CS8 | CLOCAL | CREAD);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 1);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(port->Baud(), 115200u);
}

TEST(CommPort, RatesWithoutAConstantGoThroughTermios2) {
    Pty pty;
    auto port = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->Configure(LineSettings{250000, 8, ONESTOPBIT, NOPARITY}).Ok());
    unsigned baud = 0;
    ASSERT_EQ(ReadCustomBaud(pty.SlaveFd(), &baud), 0);
    EXPECT_EQ(baud, 250000u);
    // The time a write may take per byte follows the rate, in whole milliseconds.
    EXPECT_EQ(WriteTimeoutPerByteMs(4800), 4u);
    EXPECT_EQ(WriteTimeoutPerByteMs(115200), 0u);
}

TEST(CommPort, LineCodesMapToTermiosAndBadCodesAreRefused) {
    const tcflag_t mask = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR;
    const std::pair<LineSettings, tcflag_t> codes[] = {
        {{9600, 7, TWOSTOPBITS, EVENPARITY}, CS7 | CSTOPB | PARENB},
        {{9600, 8, ONESTOPBIT, ODDPARITY}, CS8 | PARENB | PARODD},
        {{9600, 8, ONESTOPBIT, MARKPARITY}, CS8 | PARENB | PARODD | CMSPAR},
        {{9600, 8, ONESTOPBIT, SPACEPARITY}, CS8 | PARENB | CMSPAR},
        {{9600, 5, ONE5STOPBITS, NOPARITY}, CS5 | CSTOPB},
    };
    for (const auto& [settings, flags] : codes) {
        termios t{};
        ASSERT_TRUE(MakeRawTermios(settings, &t).Ok());
        EXPECT_EQ(t.c_cflag & mask, flags) << int{settings.byteSize} << " " << int{settings.parity};
    }
    for (LineSettings bad :
         {LineSettings{0, 8, ONESTOPBIT, NOPARITY}, LineSettings{115200, 9, ONESTOPBIT, NOPARITY},
          LineSettings{115200, 4, ONESTOPBIT, NOPARITY},
          LineSettings{115200, 8, ONE5STOPBITS, NOPARITY}, LineSettings{115200, 8, 3, NOPARITY},
          LineSettings{115200, 8, ONESTOPBIT, 5}}) {
        termios t{};
        EXPECT_EQ(MakeRawTermios(bad, &t).status, SysStatus::InvalidSettings);
    }
}

TEST(CommPort, OpenTellsMissingDevicesAndNonTtysApart) {
    SysResult r;
    EXPECT_FALSE(CommPort::Open("/dev/no-such-tty", &r));
    EXPECT_EQ(r.status, SysStatus::NotFound);
    EXPECT_STREQ(r.call, "open");
    EXPECT_FALSE(CommPort::Open("/dev/null", &r));
    EXPECT_EQ(r.status, SysStatus::NotATty);
    // A pty master is a terminal, but nothing would ever answer on it.
    EXPECT_FALSE(CommPort::Open("/dev/ptmx", &r));
    EXPECT_EQ(r.status, SysStatus::NotATty);
    // A pty slave stays a port: the simulator and the tests rely on it.
    Pty pty;
    EXPECT_TRUE(CommPort::Open(pty.SlavePath(), &r));
}

TEST(CommPort, AWaitEndsOnTheEventOrOnHangUp) {
    Pty pty;
    auto port = OpenOrFail(pty.SlavePath());
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->Configure({}).Ok());
    auto cancel = CommWaitEvent::Create();
    ASSERT_TRUE(cancel);
    cancel->Signal();
    EXPECT_EQ(port->WaitReadable(*cancel).status, SysStatus::Cancelled);
    // A stop wins over waiting bytes, and stays in force for every later wait.
    ASSERT_TRUE(pty.WriteAll("x", 1));
    EXPECT_EQ(port->WaitReadable(*cancel).status, SysStatus::Cancelled);

    auto fresh = CommWaitEvent::Create();
    EXPECT_TRUE(port->WaitReadable(*fresh).Ok());
    pty.CloseMaster();
    EXPECT_EQ(port->WaitReadable(*fresh).status, SysStatus::Lost);
    EXPECT_TRUE(port->IsLost());
    const BYTE data[4] = {1, 2, 3, 4};
    const SysIo io = port->WriteAll(data, sizeof data, *fresh, std::nullopt);
    EXPECT_EQ(io.result.status, SysStatus::Lost);
}

// The system-call seam under the port: interruptions, short writes and a full queue made to
// happen on purpose, on a real pseudo-terminal, and every byte still arrives once and in order.
// Each call of a kind is numbered; the script says what the n-th call does instead of its work.
std::atomic<int> g_writes{0};
std::atomic<int> g_polls{0};
std::atomic<int> g_reads{0};

ssize_t ScriptedWrite(int fd, const void* data, size_t size) {
    switch (g_writes++) {
        case 0:  // a signal arrives before anything is written
            errno = EINTR;
            return -1;
        case 1:  // the driver takes one byte only
            return RealSysCalls().write(fd, data, 1);
        case 2:  // the queue is full for a moment
        case 4:
            errno = EAGAIN;
            return -1;
        case 3:  // a short write again
            return RealSysCalls().write(fd, data, size / 2);
        default:
            return RealSysCalls().write(fd, data, size);
    }
}

int ScriptedPoll(pollfd* fds, nfds_t count, int timeoutMs) {
    if (g_polls++ == 0) {  // the wait for room is interrupted too
        errno = EINTR;
        return -1;
    }
    return RealSysCalls().poll(fds, count, timeoutMs);
}

ssize_t ScriptedRead(int fd, void* buffer, size_t size) {
    if (g_reads++ == 0) {
        errno = EINTR;
        return -1;
    }
    return RealSysCalls().read(fd, buffer, size);
}

SysCalls Scripted() {
    SysCalls calls = RealSysCalls();
    calls.write = ScriptedWrite;
    calls.poll = ScriptedPoll;
    calls.read = ScriptedRead;
    return calls;
}

TEST(CommPort, InterruptedShortAndRefusedWritesStillDeliverEveryByteInOrder) {
    Pty pty;
    SysResult opened;
    auto port = CommPort::Open(pty.SlavePath(), &opened);
    ASSERT_TRUE(port);
    ASSERT_TRUE(port->Configure(LineSettings{115200, 8, ONESTOPBIT, NOPARITY}).Ok());
    auto cancel = CommWaitEvent::Create();
    ASSERT_TRUE(cancel);

    std::vector<BYTE> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<BYTE>(i * 7 + 3);
    }
    const SysCalls calls = Scripted();
    g_writes = g_polls = g_reads = 0;
    {
        ScopedSysCalls scope(calls);
        const SysIo io = port->WriteAll(data.data(), data.size(), *cancel, std::nullopt);
        EXPECT_TRUE(io.result.Ok()) << SysStatusName(io.result.status);
        EXPECT_EQ(io.count, data.size());
        EXPECT_GE(g_writes.load(), 6);  // every scripted case was met
        EXPECT_GE(g_polls.load(), 2);

        // The device answers; the first read is interrupted and retried, not taken for empty.
        ASSERT_TRUE(pty.WriteAll(std::vector<std::uint8_t>{'o', 'k'}));
        ASSERT_TRUE(port->WaitReadable(*cancel).Ok());
        BYTE answer[8] = {};
        const SysIo read = port->ReadNow(answer, sizeof answer);
        EXPECT_TRUE(read.result.Ok());
        EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), read.count), "ok");
    }
    EXPECT_EQ(pty.ReadExactly(data.size()), std::vector<std::uint8_t>(data.begin(), data.end()));
    EXPECT_TRUE(pty.ReadAvailable().empty()) << "a byte was written twice";
}

}  // namespace
