#include "hosts/cli/CliSession.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "app/DownloadApp.h"
#include "app/MainDialog.h"
#include "app/Resources.h"
#include "download/DownloadState.h"
#include "download/PortOpenError.h"
#include "hosts/cli/BoxBook.h"
#include "hosts/cli/ConsoleHost.h"
#include "hosts/cli/ConsoleLog.h"
#include "hosts/cli/ProgressLine.h"
#include "platform/host/MessageQueue.h"
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
    ConsoleHost host;
    host.SetDialogCreated([this](CDialog& dialog) { OnDialogCreated(dialog); });
    host.SetIdle([] { std::fflush(stdout); });
    CDownloadApp app;
    app.SetDialogSetup([this](CMainDialog& dialog) {
        m_dialog = &dialog;
        if (m_config.ini) {
            dialog.SetIniPath(*m_config.ini);
        }
        dialog.SetStartupPort(m_config.portNumber);
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
    if (m_progress) {
        m_progress->Finish();
    }
    m_dialog = nullptr;
    std::fflush(stdout);
    return m_status;
}

void CliSession::OnDialogCreated(CDialog& dialog) {
    if (dialog.TemplateId() != IDD_STAVEL_OV_DIALOG) {
        return;
    }
    m_log = std::make_unique<ConsoleLog>(stdout, isatty(STDOUT_FILENO) != 0);
    dialog.GetDlgItem(IDC_LOG)->AddObserver(m_log.get());
    m_progress = std::make_unique<ProgressLine>(stderr, isatty(STDERR_FILENO) != 0);
    dialog.GetDlgItem(IDC_PROGRESS)->AddObserver(m_progress.get());
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
        const BoxEndDetail detail{PortOpenError(m_dialog->m_link.m_strPortName), {}};
        ClickButton(m_dialog->m_btnStart);
        OnBoxEnded(BoxEnd::PortNotOpened, detail);
    }
}

void CliSession::OnEvent(DownloadEvent event) {
    switch (event) {
        case DownloadEvent::Started:
            if (m_progress) {
                m_progress->Restart();
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

void CliSession::End(int status) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_status = status;
    if (m_progress) {
        m_progress->Finish();
    }
    if (m_dialog != nullptr) {
        m_dialog->EndDialog(IDOK);
    }
}
