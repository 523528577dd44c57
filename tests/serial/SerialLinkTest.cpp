#include "serial/SerialLink.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/ports/PortMap.h"
#include "serial/ThreadWatchComm.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/uiqueue/UiPump.h"

namespace {

constexpr HWND kOwner = static_cast<HWND>(0x1234);

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint32_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>((i + seed) * 131 + (i >> 8));
    }
    return v;
}

std::vector<std::uint8_t> TakeAll(CRingBuffer& ring) {
    std::vector<std::uint8_t> out;
    BYTE b = 0;
    while (ring.GetByte(&b, 0) == 1) {
        out.push_back(b);
    }
    return out;
}

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (readdir(d) != nullptr) {
            ++n;
        }
        closedir(d);
    }
    return n;
}

class SerialLinkTest : public ::testing::Test {
  protected:
    BOOL OpenLink(CSerialLink& link) {
        link.m_hOwnerWnd = kOwner;
        return link.Open(pty.SlavePath(), 115200, 8, ONESTOPBIT, NOPARITY);
    }
    void FillRing(CSerialLink& link, int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(link.m_rxRing.PutByte(static_cast<BYTE>(i)), 1);
        }
    }

    Pty pty;
    UiPump ui;
};

TEST_F(SerialLinkTest, EveryByteValuePassesBothWaysInOrderWithNotificationsAndNoEcho) {
    CSerialLink link;
    ASSERT_EQ(OpenLink(link), 1);
    std::vector<std::uint8_t> all(256);
    for (int i = 0; i < 256; ++i) {
        all[i] = static_cast<std::uint8_t>(i);
    }
    EXPECT_EQ(link.Write(all.data(), 256), 256u);
    EXPECT_EQ(pty.ReadExactly(256), all);

    std::vector<std::uint8_t> sent;
    std::vector<std::uint8_t> received;
    for (int i = 0; i < 40; ++i) {
        const std::vector<std::uint8_t> piece = i == 0 ? all : Bytes(1 + (i * 53) % 300, i);
        sent.insert(sent.end(), piece.begin(), piece.end());
        const int before = ui.Count(WM_COMM_RECEIVED);
        ASSERT_TRUE(pty.WriteAll(piece));
        ASSERT_TRUE(ui.Until([&] {
            return ui.Count(WM_COMM_RECEIVED) > before &&
                   link.m_rxRing.GetCount() == static_cast<int>(piece.size());
        }));
        const std::vector<std::uint8_t> got = TakeAll(link.m_rxRing);
        received.insert(received.end(), got.begin(), got.end());
    }
    EXPECT_EQ(received, sent);
    for (const MSG& m : ui.Messages()) {
        EXPECT_EQ(m.hwnd, kOwner);
        EXPECT_EQ(m.message, WM_COMM_RECEIVED);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 0);
    }
    EXPECT_TRUE(pty.ReadAvailable().empty()) << "the link echoed received bytes";
    link.Close();
    EXPECT_EQ(link.m_dwWatchExitCode.load(), 1u);
}

// With 4100 bytes held the room is 4192 - 4100 = 92: a 91-byte read fills the ring to its
// 4191-byte limit, and a read as large as the room left (here 1 byte) is dropped whole with
// "buff full". While that box waits for an answer a 3000-byte burst collects in the driver;
// once it is answered the watch thread takes the burst in more than one read and posts once.
TEST_F(SerialLinkTest, AReadIsStoredOnlyWhenAllOfItFitsAndABurstDrainsWithOneNotification) {
    CSerialLink link;
    FillRing(link, 4100);
    ASSERT_EQ(OpenLink(link), 1);
    ASSERT_TRUE(pty.WriteAll(Bytes(91, 1)));
    ASSERT_TRUE(ui.Until([&] { return ui.Count(WM_COMM_RECEIVED) == 1; }));
    EXPECT_EQ(link.m_rxRing.GetCount(), 4191);
    EXPECT_TRUE(ui.Boxes().empty());

    ASSERT_TRUE(pty.WriteAll(Bytes(1, 2)));
    ASSERT_TRUE(ui.UntilQueued());  // the box request, not yet answered
    const std::vector<std::uint8_t> burst = Bytes(3000, 99);
    ASSERT_TRUE(pty.WriteAll(burst));
    ASSERT_TRUE(UiPump::Await([&] { return pty.PendingForProgram() == burst.size(); }));
    const std::vector<std::uint8_t> held = TakeAll(link.m_rxRing);
    ASSERT_EQ(held.size(), 4191u);
    EXPECT_EQ(std::vector<std::uint8_t>(held.end() - 91, held.end()), Bytes(91, 1));

    ASSERT_TRUE(ui.Until([&] { return ui.Count(WM_COMM_RECEIVED) == 2; }));
    ui.For(std::chrono::milliseconds(50));
    EXPECT_EQ(ui.Count(WM_COMM_RECEIVED), 2);
    EXPECT_EQ(ui.Boxes(), std::vector<std::string>{"buff full"});
    EXPECT_EQ(TakeAll(link.m_rxRing), burst);
}

TEST_F(SerialLinkTest, ALargeWriteWaitsForRoomAndArrivesWhole) {
    CSerialLink link;
    ASSERT_EQ(OpenLink(link), 1);
    const std::vector<std::uint8_t> big = Bytes(256 * 1024, 5);
    std::vector<std::uint8_t> got;
    std::thread peer([&] { got = pty.ReadExactly(big.size(), std::chrono::seconds(30)); });
    EXPECT_EQ(link.Write(big.data(), static_cast<DWORD>(big.size())), big.size());
    peer.join();
    EXPECT_EQ(got, big);
}

TEST_F(SerialLinkTest, ThePortIsExclusiveAndCyclesLeaveNothingBehind) {
    SetPortOverride(7, pty.SlavePath());
    CSerialLink first;
    CSerialLink second;
    first.m_hOwnerWnd = kOwner;
    ASSERT_EQ(first.Open(CSerialLink::PortNameFromNumber(7), 115200, 8, 0, 0), 1);
    EXPECT_EQ(second.Open("\\\\.\\COM7", 115200, 8, 0, 0), 0);
    EXPECT_EQ(second.m_bOpen.load(), 0);
    EXPECT_EQ(second.LastFailure().result.status, SysStatus::Busy);
    EXPECT_EQ(second.LastFailure().Describe(),
              pty.SlavePath() + ": flock: Resource temporarily unavailable");
    EXPECT_FALSE(second.m_hPort);
    EXPECT_EQ(second.m_strPortName, "\\\\.\\COM7");
    first.Close();
    EXPECT_EQ(second.Open("\\\\.\\COM7", 115200, 8, 0, 0), 1);
    second.Close();
    ClearPortOverride(7);

    // Each cycle closes while the watch thread waits: it ends without a post.
    const int fds = CountEntries("/proc/self/fd");
    const int threads = CountEntries("/proc/self/task");
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(first.Open(pty.SlavePath(), 115200, 8, 0, 0), 1) << i;
        first.Close();
    }
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), threads);
    EXPECT_EQ(MessageQueue::Ui().Size(), 0u);
}

TEST_F(SerialLinkTest, AFailedConfigurationHoldsThePortUntilCloseOrTheNextOpen) {
    CSerialLink link;
    CSerialLink other;
    EXPECT_EQ(link.Open(pty.SlavePath(), 115200, 9, 0, 0), 0);
    EXPECT_TRUE(link.m_hPort);
    EXPECT_EQ(link.m_bOpen.load(), 0);
    EXPECT_EQ(other.Open(pty.SlavePath(), 115200, 8, 0, 0), 0);
    // A watch thread that finds the flag already cleared ends at once with 1, posting nothing.
    EXPECT_EQ(ThreadWatchComm(&link), 1u);
    EXPECT_EQ(MessageQueue::Ui().Size(), 0u);

    EXPECT_EQ(link.Open(pty.SlavePath(), 115200, 8, 0, 0), 1);
    link.Close();
    EXPECT_EQ(other.Open(pty.SlavePath(), 115200, 8, 0, 0), 1);
}

// Nobody answers the "buff full" box: Close must still end the thread.
TEST_F(SerialLinkTest, CloseReleasesAThreadWaitingOnAMessageBox) {
    CSerialLink link;
    FillRing(link, 4191);
    ASSERT_EQ(OpenLink(link), 1);
    ASSERT_TRUE(pty.WriteAll(Bytes(10, 3)));
    ASSERT_TRUE(ui.UntilQueued());
    link.Close();
    EXPECT_EQ(link.m_dwWatchExitCode.load(), 1u);
    EXPECT_EQ(link.m_rxRing.GetCount(), 4191);
}

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TEST_F(SerialLinkTest, AHangUpEndsTheThreadAndIsReportedOnce) {
    CSerialLink link;
    ASSERT_EQ(OpenLink(link), 1);
    ASSERT_TRUE(pty.WriteAll(Bytes(3, 0)));
    ASSERT_TRUE(ui.Until([&] { return link.m_rxRing.GetCount() == 3; }));
    pty.ReleaseSlave();
    pty.CloseMaster();  // the adapter is unplugged

    ASSERT_TRUE(ui.Until([&] { return ui.Count(WM_COMM_LOST) == 1; }));
    ASSERT_TRUE(ui.Until([&] { return link.m_dwWatchExitCode.load() != STILL_ACTIVE; }));
    EXPECT_EQ(link.m_dwWatchExitCode.load(), 1u);
    EXPECT_EQ(link.m_bOpen.load(), 0);
    const BYTE b = 0x55;
    EXPECT_EQ(link.Write(&b, 1), 0u);

    // Nothing spins on the dead descriptor: the process stays idle.
    const double before = ProcessCpuMs();
    ui.For(std::chrono::milliseconds(300));
    EXPECT_LT(ProcessCpuMs() - before, 150.0);
    EXPECT_EQ(ui.Count(WM_COMM_LOST), 1);
    EXPECT_EQ(ui.Messages().back().hwnd, kOwner);
    EXPECT_EQ(link.LastFailure().Describe(), pty.SlavePath() + ": device lost");
    link.Close();
    EXPECT_EQ(link.m_rxRing.GetCount(), 3);  // closing does not empty the ring
}

void Ignore(int) {}

// Installs a handler without SA_RESTART, so interrupted calls really fail with EINTR.
class InterruptingSignal {
  public:
    InterruptingSignal() {
        struct sigaction sa {};
        sa.sa_handler = Ignore;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGUSR1, &sa, &m_old);
    }
    ~InterruptingSignal() { sigaction(SIGUSR1, &m_old, nullptr); }

  private:
    struct sigaction m_old {};
};

// Sends SIGUSR1 to `target` until stopped.
class Pelter {
  public:
    explicit Pelter(pthread_t target)
        : m_thread([this, target] {
              while (!m_stop.load()) {
                  pthread_kill(target, SIGUSR1);
                  std::this_thread::sleep_for(std::chrono::microseconds(20));
              }
          }) {}
    ~Pelter() {
        m_stop.store(true);
        m_thread.join();
    }

  private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// poll and read are not restarted after a signal handler ran: the watch thread must carry on
// through EINTR without losing a byte or ending.
TEST_F(SerialLinkTest, TheWatchThreadCarriesOnThroughInterruptedWaits) {
    InterruptingSignal handler;
    CSerialLink link;
    link.m_hOwnerWnd = static_cast<HWND>(9);
    ASSERT_EQ(link.Open(pty.SlavePath(), 115200, 8, 0, 0), 1);
    const std::vector<std::uint8_t> sent = Bytes(20000, 11);
    std::vector<std::uint8_t> received;
    {
        Pelter pelter(link.m_hWatchThread.native_handle());
        for (std::size_t at = 0; at < sent.size(); at += 500) {
            // Let signals land while the thread sleeps in its wait.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(pty.WriteAll(sent.data() + at, 500));
            ASSERT_TRUE(ui.Until([&] { return link.m_rxRing.GetCount() == 500; }));
            const std::vector<std::uint8_t> got = TakeAll(link.m_rxRing);
            received.insert(received.end(), got.begin(), got.end());
        }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(link.m_dwWatchExitCode.load(), STILL_ACTIVE);
    EXPECT_EQ(ui.Count(WM_COMM_LOST), 0);
    link.Close();
    EXPECT_EQ(link.m_dwWatchExitCode.load(), 1u);
}

}  // namespace
