#pragma once

// A station's slot's end of its channel (SlotChannel.h). At the start it says hello and reads the
// station's hello and the slot's configuration; from then on it tells the station what happens
// to its box (the download's events, each box's record, the slot's states, a beat once a second,
// lines for the operator) and hands on what the station asks (finish, stop, per-box input).
//
// How it works. Frames go up through a writer thread of the channel's own, so a station that
// reads late never holds the box; request figures go at most twice a second, the latest always
// before the next event. A reader thread waits for the station's frames and hands each order on
// from there; a channel that closes or brings a frame that does not decode means the station is
// gone, and is handed on as "stop now". Should the station stop reading for good (its queue past
// kMaxQueued), the frames are dropped and that too is "stop now".
//
// Threading rules: the events, Beat, Say and Ending on the UI thread; the orders arrive on the
// reader thread and must only post work to the UI thread.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "download/BoxSession.h"
#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "slot/SlotChannel.h"

class SlotChannelEnd final : public DownloadObserver, public BoxSession::Sink {
  public:
    static constexpr std::size_t kMaxQueued = 16 * 1024 * 1024;

    explicit SlotChannelEnd(int fd);
    // Sends what is queued, for at most a few seconds, then closes the channel.
    ~SlotChannelEnd() override;
    SlotChannelEnd(const SlotChannelEnd&) = delete;
    SlotChannelEnd& operator=(const SlotChannelEnd&) = delete;

    // Says hello, then reads the station's hello and the slot's configuration, for at most
    // `bound`; fails with why (a station of another version, a channel that closed).
    Result<SlotConfig> Open(std::chrono::milliseconds bound);

    struct Orders {
        std::function<void()> finish;
        std::function<void()> stop;  // also when the station is gone
        std::function<void(const SlotInput&)> input;
    };
    // From now on, what the station asks is handed to `orders` on the reader thread.
    void Listen(Orders orders);
    // No order is handed on any more: once this returns, none runs or will run.
    void Deafen();

    void OnStarted(const DownloadStarted& started) override;
    void OnFirstFrame() override;
    void OnRequestAnswered(const RequestAnswered& request) override;
    void OnTimeAsked() override;
    void OnConsoleText(std::string_view bytes) override;
    void OnSlotState(SlotState state, const SysFailure& why) override;
    void OnBoxIdentified(const std::string& boxId) override;
    void OnSessionEnded(const SessionEnd& end) override;
    // The UI thread is alive (the slot's session calls it once a second).
    void Beat();
    // A line for the operator, which the station shows under the slot's name.
    void Say(const std::string& text);
    // The slot is about to end by itself with `status`, for the reason `why`.
    void Ending(int status, const std::string& why);
    // What became of a unit's lease (before the record of the box it was served to).
    void Unit(const UnitReport& report);

  private:
    void Send(const Json& message);
    void SendHeldRequest();
    void Write();
    void Read();
    void Gone();
    // Hands `order` to the orders, unless deaf.
    void Obey(const std::function<void(const Orders&)>& order);

    UniqueFd m_fd;
    UniqueFd m_wake;  // ends both threads' waits
    FrameReader m_frames;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::string> m_queue;
    std::size_t m_queued = 0;
    bool m_closing = false;
    bool m_broken = false;
    bool m_goneTold = false;
    std::mutex m_ordersMutex;  // held while an order is handed on
    Orders m_orders;
    std::thread m_writer;
    std::thread m_reader;

    std::chrono::steady_clock::time_point m_lastRequest{};
    std::chrono::steady_clock::time_point m_lastSpoke{};
    bool m_requestHeld = false;
    RequestAnswered m_held;
};
