// Stavel_OV serving the simulated box to the end, watched through its control channel and a
// screenshot taken mid-download.

#include <atomic>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/window/DialogTemplate.h"
#include "tests/hosts/wx/PngPicture.h"
#include "tests/hosts/wx/StavelProcess.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

constexpr std::size_t kImageSize = 16384;

struct Shot {
    int width = 0, height = 0;
    DialogBaseUnits units;
    int pos = 0;
    int barX = 0, barY = 0, barCx = 0, barCy = 0;
};

bool ParseShot(const std::string& answer, Shot& shot) {
    std::istringstream in(answer);
    std::string ok;
    in >> ok >> shot.width >> shot.height >> shot.units.cx >> shot.units.cy >> shot.pos >>
        shot.barX >> shot.barY >> shot.barCx >> shot.barCy;
    return ok == "ok" && !in.fail();
}

// Checks the picture against the template and the bar's position; answers whether the bar's
// text lay across the edge of the filled part.
bool CheckShot(const std::string& file, const Shot& shot) {
    PngPicture picture;
    EXPECT_TRUE(picture.Load(file));
    const WindowPlacement dialog = MapDialogRect(0, 0, 319, 291, shot.units);
    EXPECT_EQ(picture.Width(), dialog.cx);
    EXPECT_EQ(picture.Height(), dialog.cy);
    const WindowPlacement bar = MapDialogRect(7, 59, 305, 18, shot.units);
    EXPECT_EQ((WindowPlacement{shot.barX, shot.barY, shot.barCx, shot.barCy}), bar);
    // Above the text, the row shows the filled colour up to the edge and the empty one after.
    const int row = bar.y + 1;
    const Rgb filled = picture.At(bar.x + 1, row);
    const Rgb empty = picture.At(bar.x + bar.cx - 2, row);
    EXPECT_GT(Distance(filled, empty), 60);
    int edge = bar.x;
    while (edge < bar.x + bar.cx &&
           Distance(picture.At(edge, row), filled) < Distance(picture.At(edge, row), empty)) {
        ++edge;
    }
    const int expected = bar.x + (bar.cx * shot.pos + 5000) / 10000;
    EXPECT_NEAR(edge, expected, 2) << "position " << shot.pos;
    // The text: ink over the filled part and ink over the empty part, in different colours.
    int bestFilled = 0, bestEmpty = 0;
    Rgb inkFilled, inkEmpty;
    for (int y = bar.y + 2; y < bar.y + bar.cy - 2; ++y) {
        for (int x = bar.x + 2; x < bar.x + bar.cx - 2; ++x) {
            const Rgb p = picture.At(x, y);
            if (x < edge - 1 && Distance(p, filled) > bestFilled) {
                bestFilled = Distance(p, filled);
                inkFilled = p;
            } else if (x > edge + 1 && Distance(p, empty) > bestEmpty) {
                bestEmpty = Distance(p, empty);
                inkEmpty = p;
            }
        }
    }
    if (bestFilled < 150 || bestEmpty < 150) {
        return false;
    }
    EXPECT_GT(Distance(inkFilled, inkEmpty), 150);
    return true;
}

}  // namespace

TEST(WindowDownload, ServesTheBoxToTheEndAndShowsItAll) {
    StavelProcess stavel;
    std::string imagePath;
    const std::vector<std::uint8_t> image =
        stavel.SaveImage("box image.sdl", kImageSize, imagePath);
    ASSERT_FALSE(image.empty()) << imagePath;

    StbSimOptions options;
    options.image = image;
    options.blockSize = 256;
    options.lineBytesPerSecond = 4096;  // slow enough to catch the bar half-way
    options.consoleNoise = true;
    StbSimulator box(options);
    const Result<void> boxOpened = box.OpenPty();
    ASSERT_TRUE(boxOpened) << boxOpened.Failure().Describe();

    stavel.WriteIni("[Gerneral]\r\nSdlFileName=" + imagePath + "\r\nCOM Port Number=7\r\n");
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM7", box.SlavePath()}}));
    EXPECT_EQ(stavel.StateField("combo"), "6");
    EXPECT_EQ(stavel.StateField("lampGreen"), "1");
    EXPECT_EQ(stavel.StateField("lampRed"), "0");
    EXPECT_EQ(stavel.StateField("path"), imagePath);
    EXPECT_NE(stavel.StateField("comboTip").find(box.SlavePath()), std::string::npos);

    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_EQ(stavel.StateField("start"), "Stop");
    std::atomic<bool> done{false};
    StbVerdict verdict;
    std::thread boxThread([&] {
        verdict = box.Run();
        done = true;
    });

    bool straddled = false;
    int shots = 0;
    while (!done && stavel.Running()) {
        const int pos = std::stoi("0" + stavel.StateField("pos"));
        if (!straddled && pos >= 4300 && pos <= 5700) {
            const std::string file = stavel.Folder() + "/shot" + std::to_string(shots++) + ".png";
            Shot shot;
            ASSERT_TRUE(ParseShot(stavel.Command("screenshot " + file), shot));
            straddled = CheckShot(file, shot);
        }
    }
    boxThread.join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_TRUE(straddled) << "no screenshot caught the text across the bar's edge";

    const std::string size = std::to_string(kImageSize);
    EXPECT_EQ(stavel.StateField("progress"), "( " + size + " / " + size + " ) Bytes");
    EXPECT_EQ(stavel.StateField("pos"), "10000");
    const std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("***************************** Start program"), std::string::npos);
    EXPECT_NE(log.find("Filename = '" + imagePath + "', Size = " + size + " bytes\n"),
              std::string::npos);
    EXPECT_NE(log.find("Please connect serial port and turn on.....\n"), std::string::npos);
    EXPECT_NE(log.find("\nStop uploading....\n"), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
    // The box's console text, echoed byte by byte, shows as whole lines.
    EXPECT_NE(log.find("\nloader: "), std::string::npos);
    EXPECT_NE(stavel.StateField("lampGreen"), stavel.StateField("lampRed"));
    const std::string ini = stavel.ReadIni();
    EXPECT_NE(ini.find("SdlFileName=" + imagePath + "\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("COM Port Number=7\r\n"), std::string::npos) << ini;

    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}
