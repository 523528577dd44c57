// The operator's input on a first start without a box: the window menu and the About box,
// Escape and Enter, the file dialog, the close box.

#include <gtest/gtest.h>

#include "tests/hosts/wx/StavelProcess.h"

TEST(WindowInput, MenuAboutKeysFileDialogAndCloseBox) {
    StavelProcess stavel;
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}}));

    // First start: COM1, an empty path, and both keys written at once.
    EXPECT_EQ(stavel.StateField("combo"), "0");
    EXPECT_EQ(stavel.StateField("path"), "");
    EXPECT_EQ(stavel.StateField("lampRed"), "1");
    EXPECT_EQ(stavel.StateField("lampGreen"), "0");
    const std::string ini = stavel.ReadIni();
    EXPECT_NE(ini.find("[Gerneral]\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\r\nCOM Port Number=1\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\r\nSdlFileName=\r\n"), std::string::npos) << ini;
    EXPECT_EQ(stavel.StateField("title").rfind("Stavel for Orvanta (", 0), 0u);

    // The window menu ends with a separator and the About item, which opens the About box; the
    // command's answer waits until the box has closed.
    EXPECT_EQ(stavel.Command("menu"), "ok &Move|&Close\\x09Alt+F4|-|&About Stavel_OV...");
    const std::string about = stavel.Send("sysmenu 16");
    EXPECT_EQ(stavel.StateField("dialogs"), "2");
    EXPECT_EQ(stavel.StateField("title"), "About Stavel_OV");
    EXPECT_EQ(stavel.Command("key 27"), "ok");
    EXPECT_EQ(stavel.Answer(about), std::optional<std::string>("ok"));
    EXPECT_EQ(stavel.StateField("dialogs"), "1");

    // Escape and Enter do nothing to the main dialog.
    EXPECT_EQ(stavel.Command("key 27"), "ok");
    EXPECT_EQ(stavel.Command("key 13"), "ok");
    EXPECT_EQ(stavel.StateField("dialogs"), "1");
    EXPECT_TRUE(stavel.Running());

    // The file dialog's choice is shown, logged and stored at once.
    const std::string chosen = stavel.Folder() + "/Stavel_OV";
    ASSERT_EQ(stavel.Command("file " + chosen), "ok");
    ASSERT_EQ(stavel.Command("click 1004"), "ok");
    EXPECT_EQ(stavel.StateField("path"), chosen);
    const std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("SDL Filename = " + chosen + "\n"), std::string::npos) << log;
    EXPECT_NE(stavel.ReadIni().find("SdlFileName=" + chosen + "\r\n"), std::string::npos);

    // The close box ends the program.
    EXPECT_EQ(stavel.Command("close"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}
