// poll and read are not restarted after a signal handler ran: the serial path must carry on
// through EINTR without losing a byte, ending the watch thread or cutting a write short.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "serial/SerialLink.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/uiqueue/UiPump.h"

namespace {

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

std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    }
    return v;
}

TEST(SerialSignals, TheWatchThreadCarriesOnThroughInterruptedWaits) {
    InterruptingSignal handler;
    Pty pty;
    UiPump ui;
    CSerialLink link;
    link.m_hOwnerWnd = static_cast<HWND>(9);
    ASSERT_EQ(link.Open(pty.SlavePath(), 115200, 8, 0, 0), 1);
    const std::vector<std::uint8_t> sent = Pattern(20000);
    std::vector<std::uint8_t> received;
    {
        Pelter pelter(link.m_hWatchThread.native_handle());
        for (std::size_t at = 0; at < sent.size(); at += 500) {
            // Let signals land while the thread sleeps in its wait.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(pty.WriteAll(sent.data() + at, 500));
            ASSERT_TRUE(ui.Until([&] { return link.m_rxRing.GetCount() == 500; }));
            BYTE b = 0;
            while (link.m_rxRing.GetByte(&b, 0) == 1) {
                received.push_back(b);
            }
        }
    }
    EXPECT_EQ(received, sent);
    EXPECT_EQ(link.m_dwWatchExitCode.load(), STILL_ACTIVE);
    EXPECT_EQ(ui.Count(WM_COMM_LOST), 0);
    link.Close();
    EXPECT_EQ(link.m_dwWatchExitCode.load(), 1u);
}

TEST(SerialSignals, AnInterruptedWriteStillSendsEveryByte) {
    InterruptingSignal handler;
    Pty pty;
    UiPump ui;
    CSerialLink link;
    ASSERT_EQ(link.Open(pty.SlavePath(), 115200, 8, 0, 0), 1);
    const std::vector<std::uint8_t> big = Pattern(512 * 1024);
    std::vector<std::uint8_t> got;
    std::thread peer([&] {
        // Read slowly at first so the writer has to wait for room, under fire.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        got = pty.ReadExactly(big.size(), std::chrono::seconds(30));
    });
    DWORD written = 0;
    {
        Pelter pelter(pthread_self());
        written = link.Write(big.data(), static_cast<DWORD>(big.size()));
    }
    peer.join();
    EXPECT_EQ(written, big.size());
    EXPECT_EQ(got, big);
    link.Close();
}

}  // namespace
