#pragma once

// The one window of the tool: image path, port list, debug switch, progress bar, log, START and
// EXIT. It owns every long-lived object: the controls, the settings store, the serial link and
// the download, whose control and protocol live in download/ and are driven from here.
//
// Threading rules: UI thread only. The link's watch thread reaches the dialog solely through
// the posted WM_COMM_RECEIVED and WM_COMM_LOST.

#include <chrono>
#include <optional>
#include <string>

#include "controls/LogEdit.h"
#include "controls/TextProgressCtrl.h"
#include "download/DownloadControl.h"
#include "download/DownloadState.h"
#include "download/SessionEvents.h"
#include "download/StbProtocol.h"
#include "platform/window/Button.h"
#include "platform/window/ComboBox.h"
#include "platform/window/Dialog.h"
#include "platform/window/Edit.h"
#include "platform/window/Icon.h"
#include "platform/window/Static.h"
#include "serial/SerialLink.h"
#include "settings/IniFile.h"

class CMainDialog : public CDialog {
  public:
    explicit CMainDialog(CWnd* parent = nullptr);
    ~CMainDialog() override;

    // Bound to the template's controls in this order by DoDataExchange.
    CButton m_chkDebug;
    CTextProgressCtrl m_progress;
    CEdit m_editPath;
    CLogEdit m_log;
    CComboBox m_comboPort;
    CStatic m_lampGreen;
    CStatic m_lampRed;
    CButton m_btnBrowse;
    CButton m_btnStart;

    HICON m_hIcon;
    CIniFile m_ini;
    CSerialLink m_link;
    // The image path, the open image, its size and the offset reached.
    DownloadState m_download;

    // Download control and protocol.
    void ShowConnectState(bool connected) { m_control.ShowConnectState(connected); }
    void ConnectSerialPort() { m_control.ConnectSerialPort(); }
    void OnStartStop() { m_control.OnStartStop(); }
    void StopFor(const DownloadEnded& ended) { m_control.StopFor(ended); }
    LRESULT OnCommReceived(WPARAM wParam, LPARAM lParam) {
        return m_protocol.OnCommReceived(wParam, lParam);
    }
    LRESULT OnCommLost(WPARAM wParam, LPARAM lParam) {
        return m_control.OnCommLost(wParam, lParam);
    }
    void KeepStoredPort() { m_control.KeepStoredPort(); }
    // Why the last start, connection or download failed, for a host to show.
    const SysFailure& LastFailure() const { return m_control.LastFailure(); }
    void OnTimer(UINT_PTR id) { m_control.OnTimer(id); }
    void RequireImageSha256(std::string hex) { m_control.RequireImageSha256(std::move(hex)); }
    void SetLineBaud(DWORD baud) { m_control.SetLineBaud(baud); }
    void RequireWholeImage(bool whole) { m_control.RequireWholeImage(whole); }
    bool WrongImage() const { return m_control.WrongImage(); }
    // A job with a [unit]: no data answer goes out before the box's own data is served.
    void WantUnit(bool wanted) { m_download.m_unitWanted = wanted; }
    // This box's own bytes over a range of the image; a data request held for them is answered.
    void ServeOverlay(ImageOverlay overlay) {
        m_download.m_overlay = std::move(overlay);
        m_protocol.AnswerHeldRequest();
    }
    // Holds the box's STARTs unanswered, or lets them go: each one held is answered now.
    void GateStart(bool gated) {
        m_download.m_startGated = gated;
        if (!gated) {
            m_protocol.AnswerHeldStarts();
        }
    }
    bool StartHeld() const { return m_download.m_startsHeld > 0; }
    // The silence bound (zero: wait for ever); see CDownloadControl::SetSilenceBound.
    void SetSilenceBound(
        std::chrono::seconds bound, CDownloadControl::SilenceFrom from,
        CDownloadControl::SilenceAction action = CDownloadControl::SilenceAction::Stop) {
        m_control.SetSilenceBound(bound, from, action);
    }

    // For hosts other than the desktop window, set before DoModal: where the settings live
    // instead of beside the program, the port to select at start-up instead of the stored one,
    // and who hears of the download's events.
    void SetIniPath(std::string path) { m_iniPath = std::move(path); }
    void SetStartupPort(int portNumber) { m_startupPort = portNumber; }
    // Observers hear the download's events from then on, until removed.
    void AddDownloadObserver(DownloadObserver* observer) { m_observers.Add(observer); }
    void RemoveDownloadObserver(DownloadObserver* observer) { m_observers.Remove(observer); }
    // Makes `path` the image, as choosing it with "..." does: shown, stored and logged. False
    // while a download runs (the image cannot change under it).
    bool ChooseImage(const std::string& path);

  protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    const MessageMap* GetMessageMap() const override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnBrowse();

  private:
    std::string IniPath() const;

    std::optional<std::string> m_iniPath;
    std::optional<int> m_startupPort;
    DownloadObservers m_observers;
    CDownloadControl m_control;
    CStbProtocol m_protocol;
};
