// The window over a shift, in two starts on a missing port: the INI file a first start leaves,
// resizing, the message boxes with their reasons, an image dropped, Ctrl+S saving the log and an
// INI file changed by another run while the window is open; then the next start as the first
// left it, under code page 949 with its paths and log shown in Korean.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/hosts/wx/StavelProcess.h"

namespace {

// The fields of a "msgbox" answer: width, height, the title's width, the title and the text.
struct MessageBoxSeen {
    int width = 0, height = 0, titleWidth = 0;
    std::string title, text;
};

// Sends `command`, which opens a message box; reads the box, presses OK and waits for the
// command's answer.
MessageBoxSeen ShowsMessageBox(StavelProcess& stavel, const std::string& command) {
    const std::string tag = stavel.Send(command);
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
    EXPECT_EQ(stavel.Command("msgbox ok"), "ok");
    EXPECT_EQ(stavel.Answer(tag), std::optional<std::string>("ok"));
    return seen;
}

}  // namespace

TEST(WindowShift, ResizeMessageBoxesDropSaveLogAndTheNextStartUnderCodePage949) {
    StavelProcess stavel;
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM1", stavel.Folder() + "/no-such-tty"}}));
    const std::string before = stavel.Command("places");
    // A first start leaves the dialog's two settings and nothing else.
    EXPECT_EQ(stavel.ReadIni(), "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=\r\n\r\n\r\n");
    const Box client = PlaceOf(before, "client");
    ASSERT_GT(client.w, 300);
    // Smaller than the template is not possible.
    EXPECT_EQ(stavel.Command("resize 200 150"), "ok");
    EXPECT_EQ(PlaceOf(stavel.Command("places"), "client"), client);
    const int dx = 240, dy = 180;
    EXPECT_EQ(stavel.Command("resize " + std::to_string(client.w + dx) + " " +
                             std::to_string(client.h + dy)),
              "ok");
    EXPECT_EQ(stavel.Command("move 40 30"), "ok");
    const std::string after = stavel.Command("places");
    auto moved = [&](const std::string& key, int mx, int my, int gx, int gy) {
        const Box a = PlaceOf(before, key);
        EXPECT_EQ(PlaceOf(after, key), (Box{a.x + mx, a.y + my, a.w + gx, a.h + gy})) << key;
    };
    moved("1", dx, dy, 0, 0);    // EXIT keeps to the bottom right
    moved("1000", 0, dy, 0, 0);  // START to the bottom left
    moved("1007", dx, 0, 0, 0);  // the port list's lamp
    moved("1004", dx, 0, 0, 0);  // "..."
    moved("1003", 0, 0, dx, 0);  // the path stretches across
    moved("1010", 0, 0, 0, 0);   // the debug switch stays
    // The verdict's rows take some of the height, the log the rest; the bar moves down with them.
    const Box log0 = PlaceOf(before, "1001"), log1 = PlaceOf(after, "1001");
    const int down = log1.y - log0.y;
    EXPECT_GT(down, 0);
    EXPECT_LE(down, dy / 2);
    moved("1001", 0, down, dx, dy - down);
    moved("1009", 0, down, dx, 0);
    // The port list widens to the left, keeping to the right edge.
    const Box port0 = PlaceOf(before, "1002"), port = PlaceOf(after, "1002");
    EXPECT_GT(port.w, port0.w);
    EXPECT_EQ(port.x + port.w, port0.x + port0.w + dx);
    // The verdict's word grows into the room between the debug switch and the port list; its
    // line below it spans the window above the bar.
    const Box word0 = PlaceOf(before, "verdict"), word = PlaceOf(after, "verdict");
    const Box line = PlaceOf(after, "detail"), bar = PlaceOf(after, "1009");
    EXPECT_EQ(word.x, word0.x);
    EXPECT_EQ(word.y, word0.y);
    EXPECT_GT(word.w, word0.w);
    EXPECT_GT(word.h, word0.h);
    EXPECT_LT(word.x + word.w, port.x);
    EXPECT_GE(line.y, word.y + word.h);
    EXPECT_LE(line.y + line.h, bar.y);
    EXPECT_EQ(line.w, PlaceOf(before, "detail").w + dx);
    // Even at the smallest, the line runs below the port list, not under it.
    EXPECT_GE(PlaceOf(before, "detail").y, port0.y + port0.h);

    // START without an image: the box says so, sized for its title, and the verdict's line
    // tells what to do.
    const MessageBoxSeen empty = ShowsMessageBox(stavel, "click 1000");
    EXPECT_EQ(empty.text, "No input file");
    EXPECT_EQ(empty.title, "Stavel_OV");
    EXPECT_GE(empty.width, empty.titleWidth);
    EXPECT_EQ(stavel.StateField("verdict"), "");
    EXPECT_EQ(stavel.StateField("verdictDetail"),
              "No input file. Choose a readable image with \"...\" or drop one on the window.");

    // A dropped file is taken as "..." takes one: shown, stored and logged; a folder is not.
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
    const MessageBoxSeen gone = ShowsMessageBox(stavel, "click 1000");
    EXPECT_EQ(gone.text, "Cannot read input file\n" + image + ": No such file or directory");
    EXPECT_GE(gone.height, empty.height);
    EXPECT_GT(gone.width, empty.width);
    const std::string goneWords =
        image +
        ": No such file or directory. Choose a readable image with \"...\" or drop one "
        "on the window.";
    EXPECT_EQ(stavel.StateField("verdictDetail"), goneWords);
    // Too long for one line: it wraps, whole.
    std::string shownLine = stavel.StateField("verdictLine");
    EXPECT_NE(shownLine.find('\n'), std::string::npos) << shownLine;
    std::replace(shownLine.begin(), shownLine.end(), '\n', ' ');
    EXPECT_EQ(shownLine, goneWords);

    // Ctrl+S saves the log's text exactly as it shows.
    const std::string saved = stavel.Folder() + "/shift.log";
    ASSERT_EQ(stavel.Command("file " + saved), "ok");
    EXPECT_EQ(stavel.Command("ctrlkey S"), "ok");
    log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("Start program"), std::string::npos);
    EXPECT_EQ(ReadBytes(saved), log);

    // Another run chooses another image while this window is open: the window's exit keeps
    // that, and keeps its own size and place in a file of their own.
    const std::string edited =
        "[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=/elsewhere/other.sdl\r\n\r\n\r\n";
    stavel.WriteIni(edited);
    EXPECT_EQ(stavel.Command("close"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
    EXPECT_EQ(stavel.ReadIni(), edited);
    const std::string windowFile = ReadBytes(stavel.Folder() + "/Stavel_OV.window.ini");
    EXPECT_EQ(windowFile, "[Window]\r\nHeight=" + std::to_string(client.h + dy) +
                              "\r\nLeft=40\r\nMaximized=0\r\nTop=30\r\nWidth=" +
                              std::to_string(client.w + dx) + "\r\n\r\n\r\n");

    // The next start, with the path "한글.sdl" as a Korean Windows locale writes it: the window
    // comes back as it was left, and the path shows in Korean.
    // The window file wins over a [Window] section an earlier version left in the INI file,
    // which stays where it is.
    StavelProcess again;
    const std::string cp949Name = again.Folder() + "/\xC7\xD1\xB1\xDB.sdl";
    const std::string shownName = again.Folder() + "/\xED\x95\x9C\xEA\xB8\x80.sdl";
    WriteBytes(again.Folder() + "/Stavel_OV.window.ini", windowFile);
    again.WriteIni("[Gerneral]\r\nCOM Port Number=1\r\nSdlFileName=" + cp949Name +
                   "\r\n\r\n\r\n[Window]\r\nHeight=500\r\nLeft=300\r\nMaximized=0\r\nTop=200\r\n"
                   "Width=600\r\n\r\n\r\n");
    ASSERT_TRUE(again.Start(
        {{"STAVEL_COM1", again.Folder() + "/no-such-tty"}, {"STAVEL_TEST_CODESET", "CP949"}}));
    const std::string restored = again.Command("places");
    EXPECT_EQ(PlaceOf(restored, "client"), (Box{40, 30, client.w + dx, client.h + dy}));
    EXPECT_EQ(PlaceOf(restored, "1001"), PlaceOf(after, "1001"));
    EXPECT_EQ(again.StateField("path"), cp949Name);
    EXPECT_EQ(again.StateField("pathShown"), shownName);
    // A dropped file's name goes into the code set for the model and the settings, and shows
    // in Korean in the log.
    const std::string dropped = again.Folder() + "/\xEB\xB0\x95\xEC\x8A\xA4.sdl";  // "박스"
    const std::string droppedCp949 = again.Folder() + "/\xB9\xDA\xBD\xBA.sdl";
    EXPECT_EQ(again.Command("drop " + dropped), "ok taken");
    EXPECT_EQ(again.StateField("path"), droppedCp949);
    EXPECT_NE(again.ReadIni().find("SdlFileName=" + droppedCp949 + "\r\n"), std::string::npos);
    log = Unescape(again.Command("log").substr(3));
    EXPECT_NE(log.find("SDL Filename = " + dropped + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("\xEF\xBF\xBD"), std::string::npos) << log;
    EXPECT_EQ(again.Command("click 1"), "ok");
    EXPECT_EQ(again.WaitForExit(), std::optional<int>(0));
    EXPECT_NE(again.ReadIni().find("\r\n[Window]\r\nHeight=500\r\nLeft=300\r\n"), std::string::npos)
        << again.ReadIni();
}
