#include "platform/comm/CommPort.h"

#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

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
}

TEST(CommPort, LineCodesMapToTermiosAndBadCodesAreRefused) {
    termios t{};
    ASSERT_TRUE(MakeRawTermios(LineSettings{9600, 7, TWOSTOPBITS, EVENPARITY}, &t).Ok());
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CMSPAR), CS7 | CSTOPB | PARENB);
    ASSERT_TRUE(MakeRawTermios(LineSettings{9600, 8, ONESTOPBIT, ODDPARITY}, &t).Ok());
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), PARENB | PARODD);
    ASSERT_TRUE(MakeRawTermios(LineSettings{9600, 8, ONESTOPBIT, MARKPARITY}, &t).Ok());
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), PARENB | PARODD | CMSPAR);
    ASSERT_TRUE(MakeRawTermios(LineSettings{9600, 8, ONESTOPBIT, SPACEPARITY}, &t).Ok());
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), PARENB | CMSPAR);
    ASSERT_TRUE(MakeRawTermios(LineSettings{9600, 5, ONE5STOPBITS, NOPARITY}, &t).Ok());
    EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB), CS5 | CSTOPB);

    auto refused = [](LineSettings s) {
        termios tio{};
        return MakeRawTermios(s, &tio).status == SysStatus::InvalidSettings;
    };
    EXPECT_TRUE(refused({0, 8, ONESTOPBIT, NOPARITY}));
    EXPECT_TRUE(refused({115200, 9, ONESTOPBIT, NOPARITY}));
    EXPECT_TRUE(refused({115200, 4, ONESTOPBIT, NOPARITY}));
    EXPECT_TRUE(refused({115200, 8, ONE5STOPBITS, NOPARITY}));
    EXPECT_TRUE(refused({115200, 8, 3, NOPARITY}));
    EXPECT_TRUE(refused({115200, 8, ONESTOPBIT, 5}));
}

TEST(CommPort, WriteTimeoutFollowsTheBaudRate) {
    EXPECT_EQ(WriteTimeoutPerByteMs(9600), 2u);
    EXPECT_EQ(WriteTimeoutPerByteMs(4800), 4u);
    EXPECT_EQ(WriteTimeoutPerByteMs(19200), 1u);
    EXPECT_EQ(WriteTimeoutPerByteMs(38400), 0u);
    EXPECT_EQ(WriteTimeoutPerByteMs(115200), 0u);
}

TEST(CommPort, OpenTellsMissingDevicesAndNonTtysApart) {
    SysResult r;
    EXPECT_FALSE(CommPort::Open("/dev/no-such-tty", &r));
    EXPECT_EQ(r.status, SysStatus::NotFound);
    EXPECT_STREQ(r.call, "open");
    EXPECT_FALSE(CommPort::Open("/dev/null", &r));
    EXPECT_EQ(r.status, SysStatus::NotATty);
    // A pty master is a terminal, but nothing would ever answer on it; a regular file neither.
    EXPECT_FALSE(CommPort::Open("/dev/ptmx", &r));
    EXPECT_EQ(r.status, SysStatus::NotATty);
    char file[] = "/tmp/commport-file-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_FALSE(CommPort::Open(file, &r));
    EXPECT_EQ(r.status, SysStatus::NotATty);
    unlink(file);
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

}  // namespace
