#include "download/BoxSession.h"

BoxSession::BoxSession(BoxSlot slot, bool judgeWithoutSession, Sink* sink)
    : m_judgeWithoutSession(judgeWithoutSession), m_sink(sink) {
    m_facts.slot = std::move(slot);
}

SlotState PortStateFor(const SysFailure& failure) {
    return failure.result.status == SysStatus::Busy ? SlotState::PortBusy : SlotState::PortAbsent;
}

void BoxSession::SetState(SlotState state, const SysFailure& why) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (m_sink != nullptr) {
        m_sink->OnSlotState(state, why);
    }
}

void BoxSession::OnStarted(const DownloadStarted& started) {
    BoxSlot slot = m_facts.slot;
    if (slot.device.empty()) {
        slot.device = started.device;
    }
    m_facts = SessionFacts{};
    m_facts.slot = std::move(slot);
    m_facts.imagePath = started.imagePath;
    m_facts.imageSize = started.imageSize;
    m_facts.imageSha256 = started.imageSha256;
    m_facts.start = started.when;
    m_facts.startSteady = m_now();
    m_meter.Restart(started.imageSize, started.baud);
    if (m_boxId) {
        m_boxId->Reset();
    }
    m_running = true;
    SetState(SlotState::WaitingForBox);
}

void BoxSession::OnConnected(int) {
    if (m_running && !m_facts.began) {
        SetState(SlotState::WaitingForBox);
    }
}

void BoxSession::OnConnectFailed(const SysFailure& failure) {
    if (!InSession()) {
        SetState(PortStateFor(failure), failure);
    }
}

void BoxSession::OnPortLostIdle(const SysFailure& failure) {
    if (!m_running) {
        SetState(PortStateFor(failure), failure);
    }
}

void BoxSession::OnConsoleText(std::string_view bytes) {
    if (m_running && m_boxId && !m_facts.boxId) {
        m_facts.boxId = m_boxId->Feed(bytes);
        if (m_facts.boxId && m_sink != nullptr) {
            m_sink->OnBoxIdentified(*m_facts.boxId);
        }
    }
    if (InSession() && !bytes.empty()) {
        Heard();
    }
    if (m_running && !m_facts.began && !bytes.empty() && m_state == SlotState::WaitingForBox) {
        SetState(SlotState::BoxTalking);
    }
}

void BoxSession::OnBoxSpoke() {
    if (InSession()) {
        Heard();
    }
}

void BoxSession::OnBoxIdentified(const std::string& boxId) {
    if (m_running && !m_facts.boxId) {
        m_facts.boxId = boxId;
    }
}

std::optional<BoxRecord> BoxSession::JudgeNow(const DownloadEnded& ended) const {
    if (!InSession()) {
        return std::nullopt;
    }
    return JudgeSession(m_facts, ended, m_now());
}

void BoxSession::OnNoRequest(const std::string& hint) {
    // No box yet, and no record: it may be a box that has just passed and rebooted.
    if (m_running && !m_facts.began) {
        SetState(SlotState::NoRequest, SysFailure(SysResult{SysStatus::TimedOut, "", 0}, "", hint));
    }
}

void BoxSession::OnFirstFrame() {
    if (!m_running || m_facts.began) {
        return;
    }
    m_facts.began = true;
    m_facts.start = std::chrono::system_clock::now();
    m_facts.startSteady = m_now();
    m_meter.OnFirstFrame(m_facts.startSteady);
    SetState(SlotState::Loading);
}

void BoxSession::OnRequestAnswered(const RequestAnswered& request) {
    if (!m_running) {
        return;
    }
    m_facts.bytesSent = request.bytesSent;
    m_facts.distinctSent = request.distinctSent;
    m_facts.distinctAsked = request.distinctAsked;
    m_facts.requests = request.requests;
    m_meter.OnRequest(request, m_now());
    if (m_sink != nullptr) {
        m_sink->OnProgress(m_meter.Figures());
    }
}

void BoxSession::OnTimeAsked() {
    if (InSession()) {
        Heard();
    }
}

void BoxSession::Heard() {
    if (m_meter.OnHeard(m_now()) && m_sink != nullptr) {
        m_sink->OnProgress(m_meter.Figures());  // no longer stalled
    }
}

void BoxSession::Tick() {
    if (InSession() && m_state == SlotState::Loading && m_meter.CheckStall(m_now()) &&
        m_sink != nullptr) {
        m_sink->OnProgress(m_meter.Figures());
    }
}

void BoxSession::OnEnded(const DownloadEnded& ended) {
    if (!m_running) {
        return;
    }
    m_running = false;
    SessionEnd end{ended, std::nullopt};
    const bool judged =
        m_facts.began || (m_judgeWithoutSession && ended.reason != EndReason::OperatorStop);
    if (judged) {
        if (ended.reason == EndReason::Passed) {
            // EXIT_APP shows the bar full; so do the figures.
            m_meter.Complete();
            if (m_sink != nullptr) {
                m_sink->OnProgress(m_meter.Figures());
            }
        }
        end.record = JudgeSession(m_facts, ended, m_now());
    }
    m_facts.began = false;
    // The record is kept before the slot shows its verdict.
    if (m_sink != nullptr) {
        m_sink->OnSessionEnded(end);
    }
    if (end.record) {
        switch (end.record->result) {
            case BoxResult::Pass:
                SetState(SlotState::Passed);
                break;
            case BoxResult::Fail:
                SetState(SlotState::Failed);
                break;
            case BoxResult::Aborted:
                SetState(SlotState::Aborted);
                break;
        }
    } else if (ended.reason == EndReason::PortLost || ended.reason == EndReason::PortNotOpened) {
        SetState(PortStateFor(ended.failure), ended.failure);
    } else {
        SetState(SlotState::WaitingForPort);
    }
}
