#include "hosts/wx/VerdictWatch.h"

#include <chrono>

#include "app/MainDialog.h"
#include "app/Resources.h"
#include "hosts/wx/UiCalls.h"
#include "platform/ports/PortAdvice.h"
#include "platform/ports/PortMap.h"

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

}  // namespace

VerdictShown PortFailureShown(const std::string& described, const std::string& advice) {
    VerdictShown shown;
    shown.kind = VerdictShown::Kind::Fail;
    shown.word = "FAIL";
    shown.detail = Sentence(described);
    if (!advice.empty()) {
        shown.detail += (shown.detail.empty() ? "" : " ") + Sentence(advice);
    }
    return shown;
}

VerdictWatch::VerdictWatch(CMainDialog& dialog, Show show)
    : m_dialog(dialog), m_show(std::move(show)), m_self(std::make_shared<VerdictWatch*>(this)) {
    // The button's window, not the dialog's member: the member is bound to it only when the
    // dialog initialises, and the window's observers go with it.
    if (CWnd* start = dialog.GetDlgItem(IDC_BTN_START)) {
        m_start = start->m_hWnd;
        start->AddObserver(this);
    }
}

VerdictWatch::~VerdictWatch() {
    *m_self = nullptr;
    if (CWnd* start = CWnd::FromHandle(m_start)) {
        start->RemoveObserver(this);
    }
}

void VerdictWatch::Set(VerdictShown shown) {
    m_shown = std::move(shown);
    if (m_show) {
        m_show(m_shown);
    }
}

std::string VerdictWatch::PortLabel(std::string* device) const {
    const int port = static_cast<int>(m_dialog.m_comboPort.SendMessage(CB_GETCURSEL)) + 1;
    const std::string name = "COM" + std::to_string(port);
    *device = DevicePathForNumber(port).value_or("");
    return device->empty() ? name : name + " (" + *device + ")";
}

void VerdictWatch::Judge(BoxEnd end, const BoxEndDetail& detail) {
    m_boxOpen = false;
    std::string device;
    const std::string label = PortLabel(&device);
    const BoxSlot slot{"COM" + std::to_string(m_dialog.m_comboPort.SendMessage(CB_GETCURSEL) + 1),
                       device, AdapterOf(device)};
    const BoxRecord record =
        JudgeBox(slot, m_dialog.m_download, end, detail, std::chrono::steady_clock::now());
    VerdictShown shown;
    shown.kind = record.pass ? VerdictShown::Kind::Pass : VerdictShown::Kind::Fail;
    shown.word = record.pass ? "PASS" : "FAIL";
    shown.detail = VerdictLine(label, record);
    Set(std::move(shown));
}

void VerdictWatch::ShowFailure(const std::string& what, const std::string& advice) {
    Set(PortFailureShown(what, advice));
}

void VerdictWatch::OnEvent(DownloadEvent event) {
    switch (event) {
        case DownloadEvent::Started:
            m_boxOpen = true;
            // A port that would not open keeps its reason in view: the download waits on it.
            if (m_dialog.m_link.m_bOpen) {
                Set({});
            }
            return;
        case DownloadEvent::ConnectFailed: {
            const SysFailure& failure = m_dialog.LastFailure();
            ShowFailure(failure.Describe(), PortAdvice(failure));
            return;
        }
        case DownloadEvent::BoxFinished:
        case DownloadEvent::PortLost:
        case DownloadEvent::BoxStalled:
        case DownloadEvent::ImageChanged:
        case DownloadEvent::BoxSilent:
            break;
    }
    if (!m_boxOpen) {
        // A port lost between downloads: no box to judge, but the operator must know.
        if (event == DownloadEvent::PortLost) {
            const SysFailure& failure = m_dialog.LastFailure();
            ShowFailure(failure.Describe(), PortAdvice(failure));
        }
        return;
    }
    // The window sets no silence bound, so no detail is needed.
    Judge(*BoxEndForEvent(event), {});
}

void VerdictWatch::OnTextChanged(CWnd& model) {
    if (model.GetWindowText() != "Start") {
        return;
    }
    // The end event of a box, if there is one, comes after the button's text; so does the end
    // of a start's message box. Look once this input's handling is over.
    const bool boxWasOpen = m_boxOpen;
    std::weak_ptr<VerdictWatch*> self = m_self;
    CallOnUiThread([self, boxWasOpen] {
        if (auto alive = self.lock(); alive && *alive != nullptr) {
            (*alive)->AfterStop(boxWasOpen);
        }
    });
}

void VerdictWatch::AfterStop(bool boxWasOpen) {
    if (DownloadState::s_bRunning) {
        return;  // started again since
    }
    if (boxWasOpen) {
        if (m_boxOpen) {
            // Ended without an event: the operator's Stop. A box that never spoke is not judged.
            m_boxOpen = false;
            if (m_dialog.m_download.m_tally.heard) {
                Judge(BoxEnd::OperatorStop, {});
            }
        }
        return;
    }
    const SysFailure& failure = m_dialog.LastFailure();
    if (failure.subject.empty()) {
        ShowFailure("No input file", kImageAdvice);
    } else {
        ShowFailure(failure.Describe(), kImageAdvice);
    }
}
