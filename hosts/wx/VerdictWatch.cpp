#include "hosts/wx/VerdictWatch.h"

#include "app/MainDialog.h"
#include "platform/ports/PortAdvice.h"
#include "record/VerdictLine.h"

namespace {

// What to do about an image that could not be served.
constexpr const char* kImageAdvice =
    "Choose a readable image with \"...\" or drop one on the window.";

std::string Sentence(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? text : text + ".";
}

VerdictShown Note(std::string words) {
    return VerdictShown{VerdictShown::Kind::Note, "", std::move(words)};
}

}  // namespace

std::string PortFailureWords(const SysFailure& failure) {
    std::string words = Sentence(failure.Describe());
    const std::string advice = PortAdvice(failure);
    if (!advice.empty()) {
        words += (words.empty() ? "" : " ") + Sentence(advice);
    }
    return words;
}

// The window judges a box only once it has spoken a frame; an operator's Stop before that is
// no box.
VerdictWatch::VerdictWatch(CMainDialog& dialog, Show show)
    : m_dialog(dialog), m_show(std::move(show)), m_session(BoxSlot{}, false, this) {
    m_dialog.AddDownloadObserver(&m_session);
    m_dialog.AddDownloadObserver(this);
}

VerdictWatch::~VerdictWatch() {
    m_dialog.RemoveDownloadObserver(this);
    m_dialog.RemoveDownloadObserver(&m_session);
}

void VerdictWatch::Set(VerdictShown shown) {
    m_shown = std::move(shown);
    if (m_show) {
        m_show(m_shown);
    }
}

void VerdictWatch::OnStarted(const DownloadStarted& started) {
    m_waitNoted = false;
    m_portLabel =
        started.device.empty() ? started.portName : started.portName + " (" + started.device + ")";
    // The connection's outcome follows at once; a port that will not open says so then.
    Set({});
}

void VerdictWatch::OnStartRefused(const SysFailure& failure) {
    Set(Note(failure.subject.empty() ? Sentence("No input file") + " " + kImageAdvice
                                     : Sentence(failure.Describe()) + " " + kImageAdvice));
}

void VerdictWatch::OnConnectFailed(const SysFailure& failure) {
    if (m_session.Running()) {
        // The download waits on the port until the operator stops it, as it always has.
        Set(Note("port not open: " + PortFailureWords(failure) + "; press Stop"));
    } else {
        Set(Note(PortFailureWords(failure)));
    }
}

void VerdictWatch::OnPortLostIdle(const SysFailure& failure) {
    Set(Note(PortFailureWords(failure)));
}

void VerdictWatch::OnNoRequest(const std::string& hint) {
    m_waitNoted = true;
    Set(Note("box talking, no request (" + hint + "): press Stop"));
}

void VerdictWatch::OnSilentTooLong(std::chrono::seconds silence) {
    const auto count = silence.count();
    m_waitNoted = true;
    Set(Note(
        "box silent for " +
        (count % 60 == 0 ? std::to_string(count / 60) + " min" : std::to_string(count) + " s") +
        ": press Stop"));
}

void VerdictWatch::OnFirstFrame() {
    if (std::exchange(m_waitNoted, false)) {
        Set({});
    }
}

void VerdictWatch::OnRequestAnswered(const RequestAnswered&) {
    OnFirstFrame();
}

void VerdictWatch::OnSessionEnded(const SessionEnd& end) {
    if (!end.record) {
        if (end.ended.failure.Failed()) {
            Set(Note(PortFailureWords(end.ended.failure)));
        }
        return;
    }
    BoxRecord record = *end.record;
    VerdictShown shown;
    switch (record.result) {
        case BoxResult::Pass:
            shown.kind = VerdictShown::Kind::Pass;
            shown.word = "PASS";
            break;
        case BoxResult::Fail:
            shown.kind = VerdictShown::Kind::Fail;
            shown.word = "FAIL";
            break;
        case BoxResult::Aborted:
            shown.kind = VerdictShown::Kind::Aborted;
            shown.word = "ABORTED";
            break;
    }
    shown.detail = VerdictLine(m_portLabel, record);
    Set(std::move(shown));
}
