#pragma once

// One slot's story, told by the download's events: where the slot stands, how far the box in
// hand has come, and the box's verdict when its session ends. Every host keeps one per slot and
// shows what it says; the station's supervisor keeps one per slot too, fed with the events its
// children send, so a box whose process dies still gets a full record.
//
// A session begins with the box's first frame after START and ends with its verdict. Console
// text alone begins none: a box that passed and rebooted keeps printing while still cabled. An
// end that comes while no session runs (a port that vanished, would not open, or a stop while
// waiting) is a state of the slot and gets no record, except where the host asks for one (a
// single box: its run ends with the reason).
//
// Threading rules: one thread, the one the events are told on; Tick on it too.

#include <chrono>
#include <functional>
#include <optional>

#include "download/BoxIdScanner.h"
#include "download/BoxVerdict.h"
#include "download/ProgressFigures.h"
#include "download/SessionEvents.h"
#include "download/SlotState.h"

// How a download ended, and the box's record when there was a box to judge.
struct SessionEnd {
    DownloadEnded ended;
    std::optional<BoxRecord> record;
};

class BoxSession final : public DownloadObserver {
  public:
    using Clock = std::chrono::steady_clock;
    class Sink {
      public:
        virtual ~Sink() = default;
        // The slot's state changed; `why` holds the system's failure for a port absent or busy.
        virtual void OnSlotState(SlotState /*state*/, const SysFailure& /*why*/) {}
        virtual void OnProgress(const ProgressFigures& /*figures*/) {}
        // The box in hand printed its identity (--box-id); told once a box.
        virtual void OnBoxIdentified(const std::string& /*boxId*/) {}
        // The download ended; the session's verdict, if there was a box.
        virtual void OnSessionEnded(const SessionEnd& /*end*/) {}
    };

    // With `judgeWithoutSession`, a failure before the box's first frame still makes a record (a
    // single box, whose run ends there); an operator's stop before it never does.
    BoxSession(BoxSlot slot, bool judgeWithoutSession, Sink* sink = nullptr);

    void OnStarted(const DownloadStarted& started) override;
    void OnConnected(int portNumber) override;
    void OnConnectFailed(const SysFailure& failure) override;
    void OnPortLostIdle(const SysFailure& failure) override;
    void OnConsoleText(std::string_view bytes) override;
    // The box printed text that this session does not see itself (a station's copy hears it
    // from the slot): it is alive.
    void OnBoxSpoke();
    // The box's identity as the session that read its console found it (a station's copy
    // hears it from the slot).
    void OnBoxIdentified(const std::string& boxId);
    void OnFirstFrame() override;
    void OnNoRequest(const std::string& hint) override;
    void OnRequestAnswered(const RequestAnswered& request) override;
    void OnTimeAsked() override;
    void OnEnded(const DownloadEnded& ended) override;

    // Once a second from the host: a box that has gone quiet shows as stalled (ProgressFigures.h)
    // though no event comes to say so; the sink hears the figures when they change.
    void Tick();
    // The clock the session reads (tests give their own): the box's time, its figures' times.
    void SetClock(std::function<Clock::time_point()> now) { m_now = std::move(now); }

    // A state the host knows of and the download does not (a stop under way, a port waited
    // for between boxes).
    void SetState(SlotState state, const SysFailure& why = {});

    SlotState State() const { return m_state; }
    // The box's identity is taken from its console text with `pattern` (--box-id).
    void SetBoxIdPattern(std::shared_ptr<const BoxIdPattern> pattern) {
        m_boxId.emplace(std::move(pattern));
    }

    // The record the box in session would get were its session to end now for `ended`; nothing
    // while no box's session runs. What a station keeps in its journal of a box in flight.
    std::optional<BoxRecord> JudgeNow(const DownloadEnded& ended) const;

    // A START is in force: the download runs (with or without a box).
    bool Running() const { return m_running; }
    // A box's session runs.
    bool InSession() const { return m_running && m_facts.began; }

  private:
    // The box spoke while its session runs.
    void Heard();

    SessionFacts m_facts;
    bool m_judgeWithoutSession;
    Sink* m_sink;
    SlotState m_state = SlotState::WaitingForPort;
    bool m_running = false;
    ProgressMeter m_meter;
    std::optional<BoxIdScanner> m_boxId;
    std::function<Clock::time_point()> m_now = [] { return Clock::now(); };
};

// PortBusy for a port another program holds, PortAbsent for any other failure to open it.
SlotState PortStateFor(const SysFailure& failure);
