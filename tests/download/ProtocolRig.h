#pragma once

#include <optional>

// The protocol with real parts around it: a serial link open on a pseudo-terminal whose master
// plays the box, a log view, a progress bar and a debug check box on the test host, and an
// image file on disk.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "controls/LogEdit.h"
#include "controls/TextProgressCtrl.h"
#include "download/DownloadState.h"
#include "download/StbProtocol.h"
#include "platform/window/Button.h"
#include "serial/SerialLink.h"
#include "tests/support/box/StbRequests.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/testhost/ControlMessages.h"
#include "tests/support/testhost/TestHost.h"

class ProtocolRig {
  public:
    explicit ProtocolRig(std::size_t imageSize = 200000);
    ~ProtocolRig();

    // The image's bytes (every value occurs, STX and ETX included).
    const std::vector<std::uint8_t>& Image() const { return m_image; }
    std::vector<std::uint8_t> ImageSlice(std::size_t offset, std::size_t length) const;

    // The box sends `bytes`; returns once all of them are in the ring buffer.
    void BoxSends(const std::vector<std::uint8_t>& bytes);
    // One receive notification, as the watch thread's post would cause.
    void Notify() { protocol.OnCommReceived(0, 0); }
    // What the tool has written to the box so far.
    std::vector<std::uint8_t> ToolSent() { return pty.ReadAvailable(); }
    std::vector<std::uint8_t> ToolSentExactly(std::size_t n) { return pty.ReadExactly(n); }

    void SetDebug(bool on) { SetCheck(debug, on ? BST_CHECKED : BST_UNCHECKED); }
    std::string Log() const { return log.Text(); }
    int Position() { return static_cast<int>(progress.SendMessage(PBM_GETPOS)); }
    std::string ProgressText() const { return progress.GetWindowText(); }
    // Stops serving, as Stop does: the image is closed.
    void CloseImage() { state.CloseImage(); }
    const std::string& ImagePath() const { return m_imagePath; }

    TestHost host;
    Pty pty;
    CWnd owner;
    CLogEdit log;
    CTextProgressCtrl progress;
    CButton debug;
    CSerialLink link;
    DownloadState state;
    DownloadObservers observers;
    int startStops = 0;
    std::optional<EndReason> lastEnd;
    CStbProtocol protocol;

  private:
    std::vector<std::uint8_t> m_image;
    std::string m_imagePath;
};
