// The system-call seam under the port: interruptions, short writes and a full queue made to
// happen on purpose, on a real pseudo-terminal, and every byte still arrives once and in order.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "platform/base/Sys.h"
#include "platform/comm/CommPort.h"
#include "tests/support/pty/Pty.h"

namespace {

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

TEST(CommPortSeam, InterruptedShortAndRefusedWritesStillDeliverEveryByteInOrder) {
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
