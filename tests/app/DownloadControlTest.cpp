#include "download/DownloadControl.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <utility>
#include <vector>

#include "platform/window/OperatorInput.h"
#include "tests/app/DialogRig.h"
#include "tests/support/box/StbRequests.h"

namespace {

bool ControlsEnabled(CMainDialog& dlg) {
    return dlg.m_comboPort.IsWindowEnabled() && dlg.m_editPath.IsWindowEnabled() &&
           dlg.m_btnBrowse.IsWindowEnabled();
}

bool ControlsDisabled(CMainDialog& dlg) {
    return !dlg.m_comboPort.IsWindowEnabled() && !dlg.m_editPath.IsWindowEnabled() &&
           !dlg.m_btnBrowse.IsWindowEnabled();
}

}  // namespace

TEST(DownloadControl, ConnectionMessagesDependOnThePortTriedBefore) {
    DialogRig rig;
    CMainDialog& dlg = rig.Start();
    // The first failure after start-up gives the general hint; later ones name the new port.
    rig.ChoosePort(3);
    EXPECT_EQ(rig.Log(), kBanner + "Connection Error!!!, Check the serial port number.\r\n" +
                             "Connection COM3 Error!!!\r\n");
    // The log keeps its texts; the reason is there for the host to show.
    EXPECT_EQ(dlg.LastFailure().Describe(),
              rig.Folder() + "/no-such-tty3: open: No such file or directory");
    EXPECT_TRUE(rig.RedLampShown());
    EXPECT_EQ(rig.ReadIni(), "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n\r\n\r\n");

    // Success stores the number and lights the green lamp.
    rig.ChoosePort(DialogRig::kBoxPort);
    EXPECT_NE(rig.Log().find("Connected COM5 successfully......\r\n"), std::string::npos);
    EXPECT_TRUE(rig.GreenLampShown());
    EXPECT_FALSE(rig.RedLampShown());
    EXPECT_EQ(rig.ReadIni(), "[Gerneral]\r\nCOM Port Number=5\r\nSdlFileName=\r\n\r\n\r\n");
    EXPECT_TRUE(dlg.m_link.m_bOpen);

    // A failure afterwards leaves the stored number alone.
    rig.ChoosePort(4);
    EXPECT_NE(rig.Log().find("Connection COM4 Error!!!\r\n"), std::string::npos);
    EXPECT_EQ(dlg.LastFailure().result.status, SysStatus::NotFound);
    EXPECT_TRUE(rig.RedLampShown());
    EXPECT_FALSE(dlg.m_link.m_bOpen);
    EXPECT_EQ(rig.ReadIni(), "[Gerneral]\r\nCOM Port Number=5\r\nSdlFileName=\r\n\r\n\r\n");
}

TEST(DownloadControl, StartWithoutAUsableImageShowsWhyAndStaysIdle) {
    DialogRig rig;
    rig.WriteIni("[Gerneral]\r\nCOM Port Number=5\r\n");
    CMainDialog& dlg = rig.Start();
    ASSERT_TRUE(rig.GreenLampShown());

    rig.ClickStart();
    ASSERT_EQ(rig.host.MessageBoxes().size(), 1u);
    EXPECT_EQ(rig.host.MessageBoxes()[0].text, "No input file");
    EXPECT_EQ(rig.host.MessageBoxes()[0].caption, ApplicationName());
    EXPECT_EQ(dlg.m_btnStart.GetWindowText(), "Start");
    EXPECT_TRUE(ControlsEnabled(dlg));
    EXPECT_FALSE(dlg.m_link.m_bOpen);   // the stop steps close the port...
    EXPECT_TRUE(rig.GreenLampShown());  // ...and leave the lamp as it was
    EXPECT_FALSE(DownloadState::s_bRunning);

    // Nothing that cannot be served by offset: missing, a folder, endless bytes, a FIFO (which
    // must not hold the start while it waits for a writer).
    const std::string fifo = rig.Folder() + "/pipe.sdl";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {rig.Folder() + "/missing.sdl", "No such file or directory"},
        {rig.Folder(), "it is a folder"},
        {"/dev/zero", "it is a character device, not a file"},
        {fifo, "it is a FIFO, not a file"}};
    for (const auto& [path, reason] : refused) {
        dlg.m_editPath.SetWindowText(path);
        rig.ClickStart();
        EXPECT_EQ(rig.host.MessageBoxes().back().text,
                  "Cannot read input file\n" + path + ": " + reason);
        EXPECT_EQ(dlg.LastFailure().Describe(), path + ": " + reason);
        EXPECT_EQ(dlg.m_download.m_pImageFile, nullptr);
        EXPECT_TRUE(ControlsEnabled(dlg));
        EXPECT_FALSE(DownloadState::s_bRunning);
    }
}

TEST(DownloadControl, StartAndStopSwitchTheStateTheControlsAndThePort) {
    DialogRig rig;
    rig.WriteIni("[Gerneral]\r\nCOM Port Number=5\r\n");
    CMainDialog& dlg = rig.Start();
    const std::string image = rig.MakeImage("box.sdl", 1000);
    dlg.m_editPath.SetWindowText(image);
    dlg.m_progress.SetWindowText("( 7 / 7 ) Bytes");
    const std::size_t before = rig.Log().size();

    rig.ClickStart();
    EXPECT_EQ(rig.Log().substr(before), "Filename = '" + image + "', Size = 1000 bytes\r\n" +
                                            "Please connect serial port and turn on.....\r\n" +
                                            "Connected COM5 successfully......\r\n");
    EXPECT_TRUE(DownloadState::s_bRunning);
    EXPECT_NE(dlg.m_download.m_pImageFile, nullptr);
    EXPECT_EQ(dlg.m_download.m_nImageSize, 1000);
    EXPECT_EQ(dlg.m_btnStart.GetWindowText(), "Stop");
    EXPECT_TRUE(ControlsDisabled(dlg));
    EXPECT_EQ(dlg.m_progress.SendMessage(PBM_GETPOS), 0);
    // The last download's count stays until the first request of this one.
    EXPECT_EQ(dlg.m_progress.GetWindowText(), "( 7 / 7 ) Bytes");
    EXPECT_TRUE(dlg.m_link.m_bOpen);

    rig.ClickStart();
    EXPECT_TRUE(rig.Log().ends_with("\r\nStop uploading....\r\n\r\n")) << rig.Log();
    EXPECT_FALSE(DownloadState::s_bRunning);
    EXPECT_EQ(dlg.m_download.m_pImageFile, nullptr);
    EXPECT_EQ(dlg.m_btnStart.GetWindowText(), "Start");
    EXPECT_TRUE(ControlsEnabled(dlg));
    EXPECT_FALSE(dlg.m_link.m_bOpen);
    EXPECT_TRUE(rig.GreenLampShown());

    // A second start opens the port again.
    rig.ClickStart();
    EXPECT_TRUE(dlg.m_link.m_bOpen);
    EXPECT_TRUE(DownloadState::s_bRunning);
}

TEST(DownloadControl, PortLostMidDownloadStopsAndShowsTheRedLamp) {
    DialogRig rig;
    rig.WriteIni("[Gerneral]\r\nCOM Port Number=5\r\n");
    CMainDialog& dlg = rig.Start();
    dlg.m_editPath.SetWindowText(rig.MakeImage("box.sdl", 100));
    rig.ClickStart();
    ASSERT_TRUE(DownloadState::s_bRunning);

    rig.box->CloseMaster();  // the cable is pulled
    ASSERT_TRUE(rig.PumpUntil([] { return !DownloadState::s_bRunning; }));
    EXPECT_NE(rig.Log().find("Connection COM5 lost!!!\r\n\r\nStop uploading....\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(rig.RedLampShown());
    EXPECT_FALSE(rig.GreenLampShown());
    EXPECT_TRUE(ControlsEnabled(dlg));
    EXPECT_EQ(dlg.m_link.m_hPort, nullptr);  // the port is released
    EXPECT_EQ(dlg.LastFailure().result.status, SysStatus::Lost);
    EXPECT_EQ(dlg.LastFailure().subject, rig.box->SlavePath());
}

// The silence bound on the test host's manual clock: instead of waiting, the test moves the
// moments the download started and the box was last heard into the past (or the future). A box
// that talks since START but asks for nothing is told apart from a silent one, with a hint from
// how much of what it sent was text; where the download goes on (a line waiting for its box,
// the window) it is said once and nothing ends.
TEST(DownloadControl, SilenceCountsFromTheBoxsLastByteAndATalkingBoxIsToldApart) {
    struct Heard final : DownloadObserver {
        std::vector<DownloadEnded> ends;
        std::vector<std::string> hints;
        int silent = 0;
        void OnEnded(const DownloadEnded& ended) override { ends.push_back(ended); }
        void OnNoRequest(const std::string& hint) override { hints.push_back(hint); }
        void OnSilentTooLong(std::chrono::seconds) override { ++silent; }
    } heard;
    using std::chrono::seconds;
    DialogRig rig;
    rig.WriteIni("[Gerneral]\r\nCOM Port Number=5\r\n");
    CMainDialog& dlg = rig.Start();
    dlg.AddDownloadObserver(&heard);
    dlg.m_editPath.SetWindowText(rig.MakeImage("box.sdl", 100));
    DownloadTally& tally = dlg.m_download.m_tally;
    const auto now = [] { return std::chrono::steady_clock::now(); };
    const auto talk = [&](std::string_view bytes) {
        tally.heard = true;
        tally.console.Add(bytes);
        tally.startedSteady = now() - seconds(3);
    };
    dlg.SetSilenceBound(seconds(2), CDownloadControl::SilenceFrom::Start);

    // Nothing at all since START.
    rig.ClickStart();
    tally.startedSteady = now() - seconds(3);
    rig.host.Advance(seconds(2));
    ASSERT_EQ(heard.ends.size(), 1u);
    EXPECT_EQ(heard.ends.back().reason, EndReason::BoxSilent);
    EXPECT_TRUE(rig.Log().ends_with("\r\nStop uploading....\r\n\r\n")) << rig.Log();

    // Only talk, text or not.
    for (const auto& [bytes, hint] :
         {std::pair<std::string, std::string>{"Boot loader 2.07\r\n", "is it in download mode?"},
          {"\x86\xF8\x9C\xE6\x80\xFE\x92", "wrong line speed or wrong port?"}}) {
        rig.ClickStart();
        talk(bytes);
        rig.host.Advance(seconds(2));
        EXPECT_EQ(heard.ends.back().reason, EndReason::BoxTalking);
        EXPECT_EQ(heard.ends.back().failure.reason, hint);
        EXPECT_EQ(heard.hints.back(), hint);
    }

    // A box that framed, with an answer still on the wire for five seconds: the bound counts
    // from its end.
    rig.ClickStart();
    EXPECT_EQ(rig.BoxAsks(kStartRequest, 4), kStartAnswer);
    tally.lastHeard = now() + seconds(5);
    rig.host.Advance(seconds(2));
    EXPECT_TRUE(DownloadState::s_bRunning);
    tally.lastHeard = now() - seconds(3);
    rig.host.Advance(seconds(7));
    EXPECT_EQ(heard.ends.size(), 4u);
    EXPECT_EQ(heard.ends.back().reason, EndReason::BoxSilent);
    EXPECT_FALSE(DownloadState::s_bRunning);

    // From the first frame: a line waits for its next box as long as it takes, and says once
    // that the box only talks.
    dlg.SetSilenceBound(seconds(2), CDownloadControl::SilenceFrom::FirstFrame);
    rig.ClickStart();
    talk("Boot loader 2.07\r\n");
    tally.startedSteady = now() - seconds(60);
    rig.host.Advance(seconds(10));
    EXPECT_TRUE(DownloadState::s_bRunning);
    EXPECT_EQ(heard.hints.size(), 3u);
    EXPECT_EQ(rig.BoxAsks(kStartRequest, 4), kStartAnswer);
    tally.lastHeard = now() - seconds(3);
    rig.host.Advance(seconds(2));
    EXPECT_EQ(heard.ends.size(), 5u);
    EXPECT_FALSE(DownloadState::s_bRunning);

    // The window keeps a silent box's download running and says so once.
    dlg.SetSilenceBound(seconds(2), CDownloadControl::SilenceFrom::Start,
                        CDownloadControl::SilenceAction::Tell);
    rig.ClickStart();
    tally.startedSteady = now() - seconds(3);
    rig.host.Advance(seconds(6));
    EXPECT_TRUE(DownloadState::s_bRunning);
    EXPECT_EQ(heard.silent, 1);
    EXPECT_EQ(heard.ends.size(), 5u);
    rig.ClickStart();
    dlg.RemoveDownloadObserver(&heard);
}
