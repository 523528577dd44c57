// The window over a shift: a port the user may not open, resizing and its memory across starts,
// the log saved, an image dropped, the message boxes with their reasons.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/hosts/wx/PngPicture.h"
#include "tests/hosts/wx/StavelProcess.h"
#include "tests/hosts/wx/WindowPlaces.h"
#include "tools/stbsim/StbSimulator.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of a "msgbox" answer: width, height, the title's width, the title and the text.
struct MessageBoxSeen {
    int width = 0, height = 0, titleWidth = 0;
    std::string title, text;
};

// Waits for the message box a command opened, and reads it.
MessageBoxSeen WaitForMessageBox(StavelProcess& stavel) {
    std::string answer;
    for (int i = 0; i < 200 && answer.rfind("ok ", 0) != 0; ++i) {
        answer = stavel.Command("msgbox");
    }
    MessageBoxSeen seen;
    std::istringstream in(answer);
    std::string ok;
    in >> ok >> seen.width >> seen.height >> seen.titleWidth >> seen.title;
    std::getline(in >> std::ws, seen.text);
    seen.title = Unescape(seen.title);
    seen.text = Unescape(seen.text);
    return seen;
}

}  // namespace

TEST(WindowShift, APortTheUserMayNotOpenShowsTheReasonAndWhatToDo) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the program as another user";
    }
    StbSimulator box(StbSimOptions{});
    const Result<void> boxOpened = box.OpenPty();
    ASSERT_TRUE(boxOpened) << boxOpened.Failure().Describe();
    // The box's pty belongs to root alone; the program runs as nobody.
    ASSERT_EQ(chmod(box.SlavePath().c_str(), 0600), 0);
    StavelProcess stavel;
    stavel.WriteIni("[Gerneral]\r\nSdlFileName=\r\nCOM Port Number=3\r\n");
    stavel.RunAs(65534, 65534);
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM3", box.SlavePath()}}));
    EXPECT_EQ(stavel.StateField("lampRed"), "1");
    // No box has been served: the reason is shown, but no verdict.
    EXPECT_EQ(stavel.StateField("verdict"), "");
    EXPECT_EQ(stavel.StateField("verdictShown"), "0");
    EXPECT_EQ(stavel.StateField("verdictDetail"),
              box.SlavePath() +
                  ": open: Permission denied. Add your user to the dialout group (sudo usermod "
                  "-aG dialout $USER) and log in again.");
    // The log keeps the template's words.
    const std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("Connection Error!!!, Check the serial port number.\n"), std::string::npos)
        << log;
    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}

TEST(WindowShift, ResizingGivesTheLogTheRoomAndTheSizeIsRememberedApart) {
    StavelProcess stavel;
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}}));
    const std::string before = stavel.Command("places");
    const Box client = PlaceOf(before, "client");
    ASSERT_GT(client.w, 300);

    // Smaller than the template is not possible.
    EXPECT_EQ(stavel.Command("resize 200 150"), "ok");
    EXPECT_EQ(PlaceOf(stavel.Command("places"), "client").w, client.w);
    EXPECT_EQ(PlaceOf(stavel.Command("places"), "client").h, client.h);

    const int dx = 240, dy = 180;
    EXPECT_EQ(stavel.Command("resize " + std::to_string(client.w + dx) + " " +
                             std::to_string(client.h + dy)),
              "ok");
    EXPECT_EQ(stavel.Command("move 40 30"), "ok");
    const std::string after = stavel.Command("places");
    auto moved = [&](const std::string& key, int mx, int my, int gx, int gy) {
        const Box a = PlaceOf(before, key);
        const Box b = PlaceOf(after, key);
        EXPECT_EQ(b, (Box{a.x + mx, a.y + my, a.w + gx, a.h + gy})) << key;
    };
    moved("1001", 0, 0, dx, dy);   // the log takes the room
    moved("1", dx, dy, 0, 0);      // EXIT keeps to the bottom right
    moved("1000", 0, dy, 0, 0);    // START to the bottom left
    moved("1002", dx, 0, 0, 0);    // the port list to the right
    moved("1007", dx, 0, 0, 0);    // its lamp
    moved("1004", dx, 0, 0, 0);    // "..."
    moved("1003", 0, 0, dx, 0);    // the path stretches across
    moved("1009", 0, 0, dx, 0);    // so does the bar
    moved("1010", 0, 0, 0, 0);     // the debug switch stays
    moved("verdict", 0, 0, 0, 0);  // the verdict's word stays by the lamp's row
    moved("detail", 0, 0, dx, 0);  // its line takes the width

    EXPECT_EQ(stavel.Command("close"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
    const std::string ini = stavel.ReadIni();
    EXPECT_NE(ini.find("[Window]\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Width=" + std::to_string(client.w + dx) + "\r\n"), std::string::npos)
        << ini;
    EXPECT_NE(ini.find("Height=" + std::to_string(client.h + dy) + "\r\n"), std::string::npos)
        << ini;
    EXPECT_NE(ini.find("\r\nLeft=40\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("\r\nTop=30\r\n"), std::string::npos) << ini;
    // The dialog's own keys are as they were.
    EXPECT_NE(ini.find("[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n"), std::string::npos)
        << ini;

    // The next start comes back as it was left.
    StavelProcess again;
    std::filesystem::copy_file(stavel.IniPath(), again.IniPath());
    ASSERT_TRUE(again.Start({{"STAVEL_COM1", again.Folder() + "/no-such-tty"}}));
    const std::string restored = again.Command("places");
    EXPECT_EQ(PlaceOf(restored, "client"), (Box{40, 30, client.w + dx, client.h + dy}));
    EXPECT_EQ(PlaceOf(restored, "1001"), PlaceOf(after, "1001"));
    EXPECT_EQ(again.Command("click 1"), "ok");
    EXPECT_EQ(again.WaitForExit(), std::optional<int>(0));
}

TEST(WindowShift, SaveLogDroppedImageAndMessageBoxesWithReasons) {
    StavelProcess stavel;
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}}));

    // The read-only log's menu: no text entry; its font lines up columns.
    const std::string menu = Unescape(stavel.Command("logmenu"));
    EXPECT_EQ(menu, "ok &Copy|Select &All|-|&Save Log As\xE2\x80\xA6\tCtrl+S");
    EXPECT_EQ(stavel.Command("logfont").rfind("ok fixed ", 0), 0u);

    // START without an image: the box says so, sized for its title, and the verdict tells
    // what to do.
    const std::string start = stavel.Send("click 1000");
    const MessageBoxSeen empty = WaitForMessageBox(stavel);
    EXPECT_EQ(empty.text, "No input file");
    EXPECT_EQ(empty.title, "Stavel_OV");
    EXPECT_GE(empty.width, empty.titleWidth);
    EXPECT_EQ(stavel.Command("msgbox ok"), "ok");
    EXPECT_EQ(stavel.Answer(start), std::optional<std::string>("ok"));
    EXPECT_EQ(stavel.StateField("verdict"), "");
    EXPECT_EQ(stavel.StateField("verdictDetail"),
              "No input file. Choose a readable image with \"...\" or drop one on the window.");

    // A dropped file is taken as "..." takes one: shown, stored and logged.
    const std::string image = stavel.Folder() + "/dropped image.sdl";
    std::ofstream(image) << "x";
    EXPECT_EQ(stavel.Command("drop " + image), "ok taken");
    EXPECT_EQ(stavel.Command("drop " + stavel.Folder()), "ok refused");
    EXPECT_EQ(stavel.StateField("path"), image);
    EXPECT_NE(stavel.ReadIni().find("SdlFileName=" + image + "\r\n"), std::string::npos);
    std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("\nSDL Filename = " + image + "\n"), std::string::npos) << log;

    // An image that has gone: the message's first line as it was, the reason below, a taller box.
    std::filesystem::remove(image);
    const std::string again = stavel.Send("click 1000");
    const MessageBoxSeen gone = WaitForMessageBox(stavel);
    EXPECT_EQ(gone.text, "Cannot read input file\n" + image + ": No such file or directory");
    EXPECT_GE(gone.height, empty.height);
    EXPECT_GT(gone.width, empty.width);
    EXPECT_EQ(stavel.Command("msgbox ok"), "ok");
    EXPECT_EQ(stavel.Answer(again), std::optional<std::string>("ok"));
    EXPECT_EQ(stavel.StateField("verdictDetail"),
              image +
                  ": No such file or directory. Choose a readable image with \"...\" or drop one "
                  "on the window.");

    // Ctrl+S saves the log's text exactly as it shows.
    const std::string saved = stavel.Folder() + "/shift.log";
    ASSERT_EQ(stavel.Command("file " + saved), "ok");
    EXPECT_EQ(stavel.Command("ctrlkey S"), "ok");
    log = Unescape(stavel.Command("log").substr(3));
    EXPECT_EQ(ReadFile(saved), log);
    EXPECT_NE(log.find("Start program"), std::string::npos);

    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}

TEST(WindowShift, UnderCodePage949PathsAndTheLogShowInKorean) {
    StavelProcess stavel;
    // "한글.sdl" as a Korean Windows locale writes it.
    const std::string cp949Name = stavel.Folder() + "/\xC7\xD1\xB1\xDB.sdl";
    const std::string shownName = stavel.Folder() + "/\xED\x95\x9C\xEA\xB8\x80.sdl";
    stavel.WriteIni("[Gerneral]\r\nSdlFileName=" + cp949Name + "\r\nCOM Port Number=1\r\n");
    ASSERT_TRUE(stavel.Start(
        {{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}, {"STAVEL_TEST_CODESET", "CP949"}}));
    EXPECT_EQ(stavel.StateField("path"), cp949Name);
    EXPECT_EQ(stavel.StateField("pathShown"), shownName);

    // A dropped file's name goes into the code set for the model and the settings, and shows
    // in Korean in the log.
    const std::string dropped = stavel.Folder() + "/\xEB\xB0\x95\xEC\x8A\xA4.sdl";  // "박스"
    const std::string droppedCp949 = stavel.Folder() + "/\xB9\xDA\xBD\xBA.sdl";
    EXPECT_EQ(stavel.Command("drop " + dropped), "ok taken");
    EXPECT_EQ(stavel.StateField("path"), droppedCp949);
    EXPECT_NE(stavel.ReadIni().find("SdlFileName=" + droppedCp949 + "\r\n"), std::string::npos);
    const std::string log = Unescape(stavel.Command("logshown").substr(3));
    EXPECT_NE(log.find("SDL Filename = " + dropped + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("\xEF\xBF\xBD"), std::string::npos) << log;
    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}

TEST(WindowShift, TheReadOnlyLogShowsWhenItHasTheFocus) {
    StavelProcess stavel;
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}}));
    const Box log = PlaceOf(stavel.Command("places"), "1001");
    // A point of the log's ground below its few lines, with and without the focus.
    auto ground = [&](const std::string& name) {
        const std::string file = stavel.Folder() + "/" + name + ".png";
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(stavel.Command("screenshot " + file).rfind("ok ", 0), 0u);
        PngPicture picture;
        EXPECT_TRUE(picture.Load(file));
        return picture.At(log.x + log.w / 2, log.y + log.h - 20);
    };
    ASSERT_EQ(stavel.Command("focus 1"), "ok");
    const Rgb without = ground("without");
    ASSERT_EQ(stavel.Command("focus 1001"), "ok");
    const Rgb with = ground("with");
    EXPECT_GT(Distance(with, without), 20);
    ASSERT_EQ(stavel.Command("focus 1000"), "ok");
    EXPECT_EQ(ground("again"), without);
    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}
