#include "app/MainDialog.h"

#include <gtest/gtest.h>

#include "app/Resources.h"
#include "platform/window/OperatorInput.h"
#include "tests/app/DialogRig.h"
#include "tests/support/testhost/ControlMessages.h"

TEST(MainDialog, FirstStartWithoutSettingsWritesTheDefaultsAndTriesCom1) {
    DialogRig rig;
    CMainDialog& dlg = rig.Start();

    EXPECT_EQ(rig.ReadIni(), "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n\r\n\r\n");
    EXPECT_EQ(rig.Log(), kBanner + "Connection Error!!!, Check the serial port number.\r\n");
    EXPECT_EQ(dlg.GetWindowText(), std::string("Stavel for Orvanta (") + __DATE__ + ")");

    ASSERT_EQ(ComboCount(dlg.m_comboPort), 50);
    EXPECT_EQ(ComboText(dlg.m_comboPort, 0), "COM1");
    EXPECT_EQ(ComboText(dlg.m_comboPort, 49), "COM50");
    EXPECT_EQ(ComboSelection(dlg.m_comboPort), 0);
    EXPECT_EQ(dlg.m_editPath.GetWindowText(), "");
    EXPECT_EQ(dlg.m_chkDebug.GetCheck(), BST_UNCHECKED);

    PBRANGE range{};
    dlg.m_progress.SendMessage(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 10000);
    EXPECT_EQ(dlg.m_progress.SendMessage(PBM_GETPOS), 0);
    EXPECT_EQ(dlg.m_progress.GetWindowText(), "");

    EXPECT_TRUE(rig.RedLampShown());
    EXPECT_FALSE(rig.GreenLampShown());
    EXPECT_EQ(dlg.m_btnStart.GetWindowText(), "START");

    // The window menu ends with a separator and the About item.
    CMenu* menu = dlg.GetSystemMenu(0);
    ASSERT_NE(menu, nullptr);
    const auto& items = menu->Items();
    ASSERT_GE(items.size(), 2u);
    EXPECT_EQ(items[items.size() - 2].flags, MF_SEPARATOR);
    EXPECT_EQ(items.back().flags, MF_STRING);
    EXPECT_EQ(items.back().id, IDM_ABOUTBOX);
    EXPECT_EQ(items.back().text, "&About Stavel_OV...");
}

TEST(MainDialog, StoredPortSelectsItsEntryOrNone) {
    struct Case {
        const char* stored;
        int selection;
        const char* log;
    };
    const Case cases[] = {
        {"5", 4, "Connected COM5 successfully......\r\n"},
        {"0", 0, "Connection Error!!!, Check the serial port number.\r\n"},
        {"51", -1, "Connection Error!!!, Check the serial port number.\r\n"},
        {"7", 6, "Connection Error!!!, Check the serial port number.\r\n"},
    };
    for (const Case& c : cases) {
        DialogRig rig;
        rig.WriteIni(std::string("[Gerneral]\r\nCOM Port Number=") + c.stored +
                     "\r\nSdlFileName=/images/a.sdl\r\n\r\n\r\n");
        CMainDialog& dlg = rig.Start();
        EXPECT_EQ(ComboSelection(dlg.m_comboPort), c.selection) << "stored " << c.stored;
        EXPECT_EQ(rig.Log(), kBanner + c.log) << "stored " << c.stored;
        EXPECT_EQ(dlg.m_editPath.GetWindowText(), "/images/a.sdl");
        EXPECT_EQ(rig.GreenLampShown(), c.selection == 4);
        EXPECT_NE(rig.GreenLampShown(), rig.RedLampShown());
    }
}

TEST(MainDialog, BrowseStoresShowsAndLogsThePath) {
    DialogRig rig;
    CMainDialog& dlg = rig.Start();
    rig.host.QueueFileDialogAnswer(std::nullopt);
    ClickButton(dlg.m_btnBrowse);
    EXPECT_EQ(dlg.m_editPath.GetWindowText(), "");
    ASSERT_EQ(rig.host.FileDialogRequests().size(), 1u);
    const FileDialogRequest& request = rig.host.FileDialogRequests()[0];
    EXPECT_TRUE(request.openFileDialog);
    EXPECT_EQ(request.defaultExt, "File");
    EXPECT_EQ(request.fileName, "");
    EXPECT_EQ(request.flags, 0x00080006u);
    EXPECT_EQ(request.filter,
              "SDL file (*.SDL) | *.SDL; |VDL file (*.VDL) | *.VDL; |DNL file (*.DNL) | *.DNL; "
              "|All files (*.*)|*.*|");

    rig.host.QueueFileDialogAnswer("/images/new image.SDL");
    ClickButton(dlg.m_btnBrowse);
    EXPECT_EQ(dlg.m_editPath.GetWindowText(), "/images/new image.SDL");
    EXPECT_NE(rig.Log().find("SDL Filename = /images/new image.SDL\r\n"), std::string::npos);
    EXPECT_EQ(rig.ReadIni(),
              "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=/images/new image.SDL\r\n\r\n\r\n");
}

TEST(MainDialog, EscapeAndEnterDoNothingExitAndCloseBoxEnd) {
    DialogRig rig;
    CMainDialog& dlg = rig.Start();
    PressKey(dlg, VK_ESCAPE);
    PressKey(dlg, VK_RETURN, &dlg.m_btnStart);
    PressKey(dlg, VK_RETURN);
    EXPECT_FALSE(dlg.HasEnded());
    EXPECT_EQ(dlg.m_btnStart.GetWindowText(), "START");  // Enter did not press a button

    PressCloseBox(dlg);
    EXPECT_TRUE(dlg.HasEnded());
    EXPECT_EQ(dlg.EndCode(), IDCANCEL);

    DialogRig again;
    CMainDialog& second = again.Start();
    ClickButton(*second.GetDlgItem(IDOK));
    EXPECT_TRUE(second.HasEnded());
    EXPECT_EQ(second.EndCode(), IDOK);
}

TEST(MainDialog, WindowMenuItemOpensTheAboutBox) {
    DialogRig rig;
    CMainDialog& dlg = rig.Start();
    std::string caption;
    std::string text;
    rig.host.SetModalDriver([&](CDialog& about) {
        caption = about.GetWindowText();
        for (HWND child : about.GetChildren()) {
            if (CWnd* wnd = CWnd::FromHandle(child); wnd && wnd->GetKind() == ControlKind::Static) {
                text = wnd->GetWindowText();
            }
        }
        ClickButton(*about.GetDlgItem(IDOK));
        return true;
    });
    ChooseSystemMenuItem(dlg, IDM_ABOUTBOX);
    EXPECT_EQ(caption, "About Stavel_OV");
    EXPECT_EQ(text, "Stavel_OV Version 1.0");
    EXPECT_FALSE(dlg.HasEnded());
    EXPECT_EQ(static_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), LoadIcon(IDR_MAINFRAME));
}
