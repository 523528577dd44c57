#include "platform/host/MessageQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/host/HeadlessHost.h"
#include "platform/host/Host.h"
#include "platform/host/WorkerMessageBox.h"

using namespace std::chrono_literals;

TEST(MessageQueue, KeepsOrderAcrossThreadsAndWakesTheTaker) {
    MessageQueue queue;
    std::atomic<int> notified{0};
    queue.SetNotifier([&] { ++notified; });

    constexpr int kCount = 10000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i) {
            queue.Post(MSG{HWND{7}, WM_USER + 1, static_cast<WPARAM>(i), 0});
        }
    });
    std::vector<WPARAM> seen;
    while (seen.size() < kCount) {
        auto item = queue.Take(10s);
        ASSERT_TRUE(item.has_value());
        seen.push_back(std::get<MSG>(*item).wParam);
    }
    producer.join();
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(seen[i], static_cast<WPARAM>(i));
    }
    EXPECT_EQ(notified.load(), kCount);
    EXPECT_FALSE(queue.TryTake().has_value());
}

namespace {

class CountingHost final : public HeadlessHost {
  public:
    int MessageBox(const std::string& text, const std::string& caption, UINT) override {
        texts.push_back(caption + ": " + text);
        return IDOK;
    }
    std::vector<std::string> texts;
};

void RunTasks(MessageQueue& queue) {
    while (auto item = queue.TryTake()) {
        if (auto* task = std::get_if<MessageQueue::Task>(&*item)) {
            (*task)();
        }
    }
}

}  // namespace

TEST(WorkerMessageBox, WorkerWaitsForTheUiThreadAndReleaseEndsTheWait) {
    CountingHost host;
    SetHost(&host);
    MarkUiThread();
    MessageQueue::Ui().Clear();

    // Answered: the worker gets the operator's OK once the UI thread has shown the box.
    MessageBoxGate gate;
    std::atomic<int> answer{0};
    std::thread worker([&] { answer = gate.Show("buff full", MB_OK); });
    while (MessageQueue::Ui().Size() == 0) {
        std::this_thread::yield();
    }
    RunTasks(MessageQueue::Ui());
    worker.join();
    EXPECT_EQ(answer.load(), IDOK);
    ASSERT_EQ(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0], "Stavel_OV: buff full");

    // Released while nobody pumps the UI queue: the worker returns, the box is never shown.
    std::thread stuck([&] { answer = gate.Show("buff full", MB_OK); });
    while (MessageQueue::Ui().Size() == 0) {
        std::this_thread::yield();
    }
    gate.Release();
    stuck.join();
    EXPECT_EQ(answer.load(), IDCANCEL);
    RunTasks(MessageQueue::Ui());
    EXPECT_EQ(host.texts.size(), 1u);

    // Released stays released until rearmed.
    EXPECT_EQ(gate.Show("again", MB_OK), IDCANCEL);
    gate.Rearm();
    SetHost(nullptr);
}
