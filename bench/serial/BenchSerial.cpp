// Figures for the serial receive path on a pseudo-terminal:
//   1. latency from a byte written at the device side to WM_COMM_RECEIVED in the UI queue,
//   2. ring-buffer throughput between two threads,
//   3. CPU used by an open, idle link.
// Usage: bench_serial [samples] [idle-seconds]   (defaults 10000 and 10)

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "bench/stats/Percentile.h"
#include "platform/host/MessageQueue.h"
#include "serial/SerialLink.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/uiqueue/UiPump.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr HWND kOwner = static_cast<HWND>(1);

bool AwaitReceived() {
    bool received = false;
    return PumpUiQueue(
        [&](MessageQueue::Item& item) {
            received |= std::holds_alternative<MSG>(item) &&
                        std::get<MSG>(item).message == WM_COMM_RECEIVED;
        },
        [&] { return received; }, std::chrono::seconds(5));
}

void MeasureLatency(int samples) {
    Pty pty;
    CSerialLink link;
    link.m_hOwnerWnd = kOwner;
    if (!link.Open(pty.SlavePath(), 115200, 8, 0, 0)) {
        std::printf("latency: cannot open %s\n", pty.SlavePath().c_str());
        return;
    }
    std::vector<double> us;
    us.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        MessageQueue::Ui().Clear();
        const BYTE b = static_cast<BYTE>(i);
        const Clock::time_point start = Clock::now();
        pty.WriteAll(&b, 1);
        if (!AwaitReceived()) {
            std::printf("latency: no notification for sample %d\n", i);
            return;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        BYTE got = 0;
        while (link.m_rxRing.GetByte(&got, 0) == 1) {
        }
    }
    link.Close();
    MessageQueue::Ui().Clear();
    std::printf("byte at pty peer -> WM_COMM_RECEIVED in UI queue, %d samples:\n", samples);
    std::printf("  p50 %.1f us   p99 %.1f us   max %.1f us\n", Percentile(us, 0.50),
                Percentile(us, 0.99), Percentile(us, 1.0));
}

void MeasureRingThroughput() {
    constexpr std::uint32_t kBytes = 50'000'000;
    CRingBuffer ring;
    const Clock::time_point start = Clock::now();
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < kBytes; ++i) {
            while (ring.PutByte(static_cast<BYTE>(i)) == 0) {
                std::this_thread::yield();
            }
        }
    });
    std::uint32_t wrong = 0;
    for (std::uint32_t i = 0; i < kBytes; ++i) {
        BYTE b = 0;
        while (ring.GetByte(&b, 0) == 0) {
            std::this_thread::yield();
        }
        wrong += b != static_cast<BYTE>(i);
    }
    producer.join();
    const double s = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("ring buffer, one producer and one consumer thread, %u bytes:\n", kBytes);
    std::printf("  %.1f MB/s (%.1f ns a byte)%s\n", kBytes / s / 1e6, s * 1e9 / kBytes,
                wrong ? "  ORDER BROKEN" : "");
}

double CpuMs(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void MeasureIdleCpu(int seconds) {
    Pty pty;
    CSerialLink link;
    link.m_hOwnerWnd = kOwner;
    if (!link.Open(pty.SlavePath(), 115200, 8, 0, 0)) {
        std::printf("idle: cannot open %s\n", pty.SlavePath().c_str());
        return;
    }
    clockid_t watchClock{};
    pthread_getcpuclockid(link.m_hWatchThread.native_handle(), &watchClock);
    const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double watch0 = CpuMs(watchClock);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double watch = CpuMs(watchClock) - watch0;
    const double process = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0;
    link.Close();
    std::printf("open idle link over %d s:\n", seconds);
    std::printf("  watch thread CPU %.3f ms, whole process CPU %.3f ms, notifications %zu\n", watch,
                process, MessageQueue::Ui().Size());
    MessageQueue::Ui().Clear();
}

}  // namespace

int main(int argc, char** argv) {
    const int samples = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    std::printf("bench_serial: the serial receive path on a pseudo-terminal\n\n");
    MeasureLatency(std::max(1, samples));
    MeasureRingThroughput();
    MeasureIdleCpu(std::max(1, idleSeconds));
    return 0;
}
