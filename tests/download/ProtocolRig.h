#pragma once

// The protocol with real collaborators around it: a serial link open on a pseudo-terminal whose
// master plays the box, a log view, a progress bar and a debug check box on the test host, and an
// image file on disk.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "controls/LogEdit.h"
#include "controls/TextProgressCtrl.h"
#include "download/DownloadState.h"
#include "download/ImageIdentity.h"
#include "download/StbProtocol.h"
#include "platform/ports/PortMap.h"
#include "platform/window/Button.h"
#include "serial/SerialLink.h"
#include "tests/support/box/StbRequests.h"
#include "tests/support/pty/Pty.h"
#include "tests/support/testhost/ControlMessages.h"
#include "tests/support/testhost/TestHost.h"

class ProtocolRig {
  public:
    explicit ProtocolRig(std::size_t imageSize = 200000)
        : protocol(CStbProtocol::Wiring{link, log, progress, debug, state,
                                        [this](const DownloadEnded& ended) {
                                            ++startStops;
                                            lastEnd = ended.reason;
                                            state.CloseImage();
                                        },
                                        observers}),
          m_image(imageSize) {
        std::uint32_t x = 12345;
        for (auto& b : m_image) {
            x = x * 1103515245u + 12345u;
            b = static_cast<std::uint8_t>(x >> 16);
        }
        owner.Create(Params(ControlKind::Dialog, 0), nullptr);
        log.Create(Params(ControlKind::RichEdit, 1001), &owner);
        progress.Create(Params(ControlKind::Progress, 1009), &owner);
        progress.SendMessage(PBM_SETRANGE32, 0, 10000);
        debug.Create(Params(ControlKind::CheckBox, 1010), &owner);

        char path[] = "/tmp/stavel-image-XXXXXX";
        const int fd = mkstemp(path);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(write(fd, m_image.data(), m_image.size()), static_cast<ssize_t>(m_image.size()));
        close(fd);
        m_imagePath = path;
        state.m_pImageFile = std::fopen(path, "rb");
        state.m_nImageSize = static_cast<std::int64_t>(m_image.size());
        // What START would have seen of the image.
        state.m_strImagePath = path;
        state.m_imageIdentity =
            IdentityOfFile(fileno(state.m_pImageFile)).value_or(ImageIdentity{});

        SetPortOverride(kPort, pty.SlavePath());
        link.m_hOwnerWnd = owner.GetSafeHwnd();
        EXPECT_EQ(link.Open(CSerialLink::PortNameFromNumber(kPort), 115200, 8, 0, 0), 1);
        MessageQueue::Ui().Clear();
    }

    ~ProtocolRig() {
        link.Close();
        ClearPortOverride(kPort);
        state.CloseImage();
        std::remove(m_imagePath.c_str());
        MessageQueue::Ui().Clear();
    }

    // The image's bytes (every value occurs, STX and ETX included).
    const std::vector<std::uint8_t>& Image() const { return m_image; }
    std::vector<std::uint8_t> ImageSlice(std::size_t offset, std::size_t length) const {
        if (offset >= m_image.size()) {
            return {};
        }
        const std::size_t end = std::min(m_image.size(), offset + length);
        return {m_image.begin() + static_cast<std::ptrdiff_t>(offset),
                m_image.begin() + static_cast<std::ptrdiff_t>(end)};
    }

    // The box sends `bytes`; returns once all of them are in the ring buffer.
    void BoxSends(const std::vector<std::uint8_t>& bytes) {
        const int before = link.m_rxRing.GetCount();
        ASSERT_TRUE(pty.WriteAll(bytes));
        // The watch thread moves them into the ring buffer; the limit only keeps a broken link from
        // hanging the test.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (link.m_rxRing.GetCount() < before + static_cast<int>(bytes.size())) {
            ASSERT_LT(std::chrono::steady_clock::now(), limit) << "bytes never reached the ring";
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
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
    static constexpr int kPort = 7;
    static CreateParams Params(ControlKind kind, int id) {
        CreateParams p;
        p.kind = kind;
        p.id = id;
        p.style = WS_CHILD | WS_VISIBLE;
        p.placement = {0, 0, 400, 30};
        return p;
    }

    std::vector<std::uint8_t> m_image;
    std::string m_imagePath;
};
