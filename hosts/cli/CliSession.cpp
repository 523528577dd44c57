#include "hosts/cli/CliSession.h"

#include <atomic>

#include "app/DownloadApp.h"
#include "app/MainDialog.h"
#include "app/Resources.h"
#include "download/DownloadState.h"
#include "hosts/cli/BoxBook.h"
#include "hosts/cli/ConsoleHost.h"
#include "hosts/cli/ConsoleLog.h"
#include "hosts/cli/ConsoleScreen.h"
#include "hosts/cli/PortProbe.h"
#include "hosts/cli/ProgressLine.h"
#include "hosts/cli/SlotFeed.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/host/MessageQueue.h"
#include "platform/ports/PortAdvice.h"
#include "platform/ports/PortMap.h"
#include "platform/window/OperatorInput.h"

namespace {

std::atomic<CliSession*> g_current{nullptr};

}  // namespace

CliSession::CliSession(SessionConfig config) : m_config(std::move(config)) {}

CliSession::~CliSession() = default;

CliSession* CliSession::Current() {
    return g_current.load();
}

int CliSession::Run() {
    ConsoleOutput& output = ConsoleOutput::Process();
    output.HoldUntilPublished(true);
    m_screen = std::make_unique<ConsoleScreen>();
    ConsoleHost host;
    host.SetScreen(m_screen.get());
    host.SetDialogCreated([this](CDialog& dialog) { OnDialogCreated(dialog); });
    host.SetIdle([this] { m_screen->Idle(); });
    CDownloadApp app;
    app.SetDialogSetup([this](CMainDialog& dialog) {
        m_dialog = &dialog;
        SetAbortableLink(&dialog.m_link);
        if (m_config.ini) {
            dialog.SetIniPath(*m_config.ini);
        }
        dialog.SetStartupPort(m_config.portNumber);
        if (m_config.keepStoredPort) {
            dialog.KeepStoredPort();
        }
        if (m_config.timeoutSeconds > 0) {
            dialog.SetSilenceBound(std::chrono::seconds(m_config.timeoutSeconds),
                                   m_config.loop ? CDownloadControl::SilenceFrom::FirstByte
                                                 : CDownloadControl::SilenceFrom::Start);
        }
        dialog.SetEventSink([this](DownloadEvent event) { OnEvent(event); });
        // Runs once the dialog has initialised and made its first connection.
        MessageQueue::Ui().PostTask([this] { Begin(); });
    });
    g_current = this;
    app.InitInstance();
    g_current = nullptr;
    SetAbortableLink(nullptr);
    if (m_log) {
        m_log->Finish();
    }
    if (m_progress) {
        m_progress->Finish();
    }
    m_dialog = nullptr;
    output.HoldUntilPublished(false);
    return m_status;
}

void CliSession::OnDialogCreated(CDialog& dialog) {
    if (dialog.TemplateId() != IDD_STAVEL_OV_DIALOG) {
        return;
    }
    m_log = std::make_unique<ConsoleLog>(*m_screen);
    dialog.GetDlgItem(IDC_LOG)->AddObserver(m_log.get());
    if (m_config.logFile != nullptr) {
        dialog.GetDlgItem(IDC_LOG)->AddObserver(m_config.logFile);
    }
    if (m_config.progressObserver != nullptr) {
        dialog.GetDlgItem(IDC_PROGRESS)->AddObserver(m_config.progressObserver);
    }
    if (!m_config.quiet) {
        m_progress = std::make_unique<ProgressLine>(*m_screen);
        dialog.GetDlgItem(IDC_PROGRESS)->AddObserver(m_progress.get());
    }
    if (m_config.slotFeed != nullptr) {
        dialog.GetDlgItem(IDC_PROGRESS)->AddObserver(m_config.slotFeed);
    }
}

void CliSession::Begin() {
    if (m_ended) {
        return;
    }
    m_dialog->m_editPath.SetWindowText(m_config.image);
    if (m_config.debug && m_dialog->m_chkDebug.GetCheck() != BST_CHECKED) {
        ClickButton(m_dialog->m_chkDebug);
    }
    PressStart();
}

void CliSession::PressStart() {
    m_starting = true;
    m_connectFailed = false;
    ClickButton(m_dialog->m_btnStart);
    m_starting = false;
    if (m_ended) {
        return;
    }
    if (!DownloadState::s_bRunning) {
        // "No input file" or "Cannot read input file" has been shown.
        End(kExitUsage);
        return;
    }
    if (m_connectFailed) {
        // Nothing can arrive on a port that did not open: stop as the operator would.
        const BoxEndDetail detail{m_dialog->LastFailure().Describe(), {}};
        ClickButton(m_dialog->m_btnStart);
        if (m_config.loop && m_boxes > 0) {
            // Between boxes the port was taken or went away for a moment: wait for it.
            WaitForPort();
            return;
        }
        OnBoxEnded(BoxEnd::PortNotOpened, detail);
    }
}

void CliSession::WaitForPort() {
    const std::string device = EscapeName(DevicePathForNumber(m_config.portNumber).value_or(""));
    if (!m_waitingForPort) {
        m_waitingForPort = true;
        const std::string reason = ProbePort(DevicePathForNumber(m_config.portNumber).value_or(""));
        m_screen->Error("stavel: COM" + std::to_string(m_config.portNumber) + " (" + device +
                        ") cannot be opened again" + (reason.empty() ? "" : ": " + reason) +
                        "; trying again every second\n");
    }
    m_retry.After(std::chrono::seconds(1), [this] {
        if (m_ended) {
            return;
        }
        if (!ProbePort(DevicePathForNumber(m_config.portNumber).value_or("")).empty()) {
            WaitForPort();
            return;
        }
        m_screen->Error("stavel: COM" + std::to_string(m_config.portNumber) +
                        " opens again; serving the next box\n");
        m_waitingForPort = false;
        PressStart();
    });
}

void CliSession::OnEvent(DownloadEvent event) {
    switch (event) {
        case DownloadEvent::Started:
            if (m_progress) {
                m_progress->Restart();
            }
            if (m_config.slotFeed != nullptr) {
                m_config.slotFeed->Waiting();
            }
            break;
        case DownloadEvent::ConnectFailed:
            if (m_starting) {
                m_connectFailed = true;
            }
            break;
        case DownloadEvent::BoxFinished:
            ++m_boxes;
            if (m_progress) {
                m_progress->Finish();
            }
            OnBoxEnded(BoxEnd::Passed);
            break;
        case DownloadEvent::PortLost:
        case DownloadEvent::BoxStalled:
        case DownloadEvent::ImageChanged:
            OnBoxEnded(*BoxEndForEvent(event));
            break;
        case DownloadEvent::BoxSilent:
            OnBoxEnded(BoxEnd::BoxSilent,
                       BoxEndDetail{{}, std::chrono::seconds(m_config.timeoutSeconds)});
            break;
    }
    if (m_config.onEvent) {
        m_config.onEvent(event);
    }
}

// Beside the verdict, one line for the operator with the device, the system's reason and what
// to do about it.
void CliSession::ExplainPortFailure(BoxEnd end) {
    if (end != BoxEnd::PortNotOpened && end != BoxEnd::PortLost && end != BoxEnd::BoxStalled) {
        return;
    }
    const SysFailure& failure = m_dialog->LastFailure();
    if (!failure.Failed()) {
        return;
    }
    const std::string advice = PortAdvice(failure);
    m_screen->Error("stavel: " + EscapeName(failure.Describe()) +
                    (advice.empty() ? "" : ". " + EscapeName(advice)) + "\n");
}

void CliSession::OnBoxEnded(BoxEnd end, const BoxEndDetail& detail) {
    if (m_ended) {
        return;
    }
    if (m_progress) {
        m_progress->Finish();
    }
    if (!Judge(end, detail)) {
        End(kExitUsage);
        return;
    }
    ExplainPortFailure(end);
    const bool counted = m_config.loop && m_config.count > 0;
    if (counted && m_judged >= m_config.count) {
        End(m_failed > 0 ? kExitSomeBoxFailed : kExitPass);
        return;
    }
    // A port that is gone or would not open ends the run: no next box can reach it.
    const bool portGone = end == BoxEnd::PortLost || end == BoxEnd::PortNotOpened;
    if (!m_config.loop || portGone) {
        End(counted ? kExitSomeBoxFailed : ExitStatusFor(end, kExitSomeBoxFailed));
        return;
    }
    // The next box: START again once this notification's handling is over.
    MessageQueue::Ui().PostTask([this] {
        if (!m_ended) {
            PressStart();
        }
    });
}

bool CliSession::Judge(BoxEnd end, const BoxEndDetail& detail) {
    ++m_judged;
    if (end != BoxEnd::Passed) {
        ++m_failed;
    }
    return m_config.book == nullptr || m_config.book->Close(m_dialog->m_download, end, detail);
}

void CliSession::OnSignal(int signo) {
    if (m_dialog != nullptr && !m_ended && DownloadState::s_bRunning) {
        ClickButton(m_dialog->m_btnStart);
        // A loop that waits for its next box has no box to judge until the box speaks.
        if (!m_config.loop || m_dialog->m_download.m_tally.heard) {
            if (!Judge(BoxEnd::OperatorStop, {})) {
                End(kExitUsage);
                return;
            }
        }
    }
    End(128 + signo);
}

void CliSession::AbortWrite() {
    std::lock_guard lock(m_abortLock);
    if (m_abortLink != nullptr) {
        m_abortLink->AbortWrite();
    }
}

void CliSession::SetAbortableLink(CSerialLink* link) {
    std::lock_guard lock(m_abortLock);
    m_abortLink = link;
}

void CliSession::End(int status) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_status = status;
    // Nothing is served from here on, and the dialog (with its link) is about to go.
    SetAbortableLink(nullptr);
    if (m_progress) {
        m_progress->Finish();
    }
    if (m_dialog != nullptr) {
        m_dialog->EndDialog(IDOK);
    }
}
