#include "station/ChildEvents.h"

#include "platform/host/ConsoleOutput.h"
#include "record/BoxRecordCodec.h"
#include "station/SlotWire.h"

namespace {

// Often enough for a station that shows figures once a second; rarely enough that sixteen slots
// cost the station next to nothing.
constexpr std::chrono::milliseconds kRequestEvery{500};

}  // namespace

void ChildEvents::Send(const std::string& line) {
    ConsoleOutput::Process().Write(m_fd, line + "\n");
}

void ChildEvents::OnStarted(const DownloadStarted& started) {
    m_lastRequest = {};
    m_requestHeld = false;
    Send(EncodeStarted(started));
}

void ChildEvents::OnFirstFrame() {
    Send(EncodeEvent("first-frame"));
}

void ChildEvents::OnRequestAnswered(const RequestAnswered& request) {
    const auto now = std::chrono::steady_clock::now();
    const bool first = m_lastRequest == std::chrono::steady_clock::time_point{};
    if (!first && now - m_lastRequest < kRequestEvery) {
        // The latest figures go out with the next one, or before the end.
        m_held = request;
        m_requestHeld = true;
        return;
    }
    m_lastRequest = now;
    m_requestHeld = false;
    Send(EncodeRequest(request));
}

void ChildEvents::Beat() {
    if (m_requestHeld) {
        // The held figures are news enough, and they are due anyway.
        m_requestHeld = false;
        m_lastRequest = std::chrono::steady_clock::now();
        Send(EncodeRequest(m_held));
        return;
    }
    Send(EncodeEvent("beat"));
}

void ChildEvents::Say(const std::string& text) {
    Send(EncodeSay(text));
}

void ChildEvents::OnTimeAsked() {
    Send(EncodeEvent("time"));
}

void ChildEvents::OnSlotState(SlotState state, const SysFailure& why) {
    Send(EncodeState(state, why));
}

void ChildEvents::OnSessionEnded(const SessionEnd& end) {
    if (m_requestHeld) {
        m_requestHeld = false;
        Send(EncodeRequest(m_held));
    }
    Send(EncodeEnded(end.ended, end.record ? BoxRecordJson(*end.record) : Json(nullptr)));
}
