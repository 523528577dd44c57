#pragma once

// Turns the operator's actions into the state the protocol serves from: connects the chosen
// port, starts a download (image opened and sized, controls locked, port reconnected) and stops
// it (image closed, controls released, port closed).
//
// Two states: Idle (no image open) and Running (image open, START reads "Stop"). EXIT_APP from the
// box, a lost port and a box that stopped reading all end Running as the Stop button does.
//
// Threading rules: UI thread only.

#include <string>

#include "download/DownloadEvents.h"
#include "platform/base/SysResult.h"
#include "platform/base/Win32Types.h"

class CButton;
class CComboBox;
class CEdit;
class CIniFile;
class CLogEdit;
class CSerialLink;
class CStatic;
class CWnd;
struct DownloadState;

class CDownloadControl {
  public:
    struct Parts {
        CWnd& owner;  // receives the link's notifications
        CSerialLink& link;
        CIniFile& ini;
        CLogEdit& log;
        CWnd& progress;
        CComboBox& comboPort;
        CEdit& editPath;
        CButton& btnBrowse;
        CButton& btnStart;
        CStatic& lampGreen;
        CStatic& lampRed;
        DownloadState& state;
        DownloadEventSink events;  // may be empty
    };

    explicit CDownloadControl(Parts parts);

    void ShowConnectState(bool connected);
    void ConnectSerialPort();
    void OnStartStop();
    // The link reports its port gone (cable pulled, adapter unplugged) or its writes stalled
    // (the box stopped reading).
    LRESULT OnCommLost(WPARAM wParam, LPARAM lParam);

    // Why the last start, connection or download failed: the device or image path and the
    // system's reason. Kept until the next failure replaces it.
    const SysFailure& LastFailure() const { return m_lastFailure; }

  private:
    void StopSteps();
    // False with the system's reason when the image cannot be served.
    bool OpenImage(std::string& reason);
    void Notify(DownloadEvent event);

    Parts m_parts;
    SysFailure m_lastFailure;
};
