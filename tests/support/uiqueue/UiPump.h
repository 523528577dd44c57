#pragma once

// The UI thread as a test plays it. PumpUiQueue is the one loop that runs the UI queue while
// waiting for a condition; UiPump plays the UI thread for tests without windows: it takes what
// worker threads post, keeps the messages, and answers message boxes through a host that
// records their texts.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/host/HeadlessHost.h"
#include "platform/host/MessageQueue.h"

// Runs each item the UI queue yields with `run` until `done` holds; false if it still does not
// after `limit` (a guard against a hung test, not a speed check).
bool PumpUiQueue(const std::function<void(MessageQueue::Item&)>& run,
                 const std::function<bool()>& done,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

class UiPump {
  public:
    UiPump();
    ~UiPump();

    // Handles queued items until `done` holds; false if it still does not after `limit` (a
    // guard against a hung test, not a speed check).
    bool Until(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Handles whatever arrives during `span`.
    void For(std::chrono::milliseconds span);
    // Waits until `done` holds, handling nothing meanwhile.
    static bool Await(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Waits, without handling anything, until the queue holds an item.
    bool UntilQueued(std::chrono::milliseconds limit = std::chrono::seconds(10));

    int Count(UINT message) const;
    const std::vector<MSG>& Messages() const { return m_messages; }
    const std::vector<std::string>& Boxes() const { return m_host.boxes; }

  private:
    // Answers message boxes with OK and keeps their texts.
    struct RecordingHost final : HeadlessHost {
        std::vector<std::string> boxes;
        int MessageBox(const std::string& text, const std::string&, UINT) override {
            boxes.push_back(text);
            return IDOK;
        }
    };
    void Handle(MessageQueue::Item& item);

    RecordingHost m_host;
    std::vector<MSG> m_messages;
};
