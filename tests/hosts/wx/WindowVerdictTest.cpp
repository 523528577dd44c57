// The verdict beside the lamp: a box that passed and one whose cable was pulled, each read from
// the window's state and from a screenshot in which the two words differ in shape and not in
// colour alone. (A port the user may not open is in WindowShiftTest.)

#include <sys/stat.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/hosts/wx/PngPicture.h"
#include "tests/hosts/wx/StavelProcess.h"
#include "tests/hosts/wx/WindowPlaces.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

// The verdict's word area as grey levels thresholded to ink (true) and background.
std::vector<bool> InkOf(const std::string& file, const Box& area) {
    PngPicture picture;
    EXPECT_TRUE(picture.Load(file));
    std::vector<double> grey;
    double low = 255, high = 0;
    for (int y = area.y; y < area.y + area.h; ++y) {
        for (int x = area.x; x < area.x + area.w; ++x) {
            const Rgb p = picture.At(x, y);
            const double g = 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
            grey.push_back(g);
            low = std::min(low, g);
            high = std::max(high, g);
        }
    }
    // Without colour the word must still stand out from its ground.
    EXPECT_GT(high - low, 120) << file;
    std::vector<bool> ink;
    for (double g : grey) {
        ink.push_back(g > (low + high) / 2);
    }
    return ink;
}

// Serves one box through the window; the box hangs up after `hangUpAfter` bytes (-1: never).
void ServeOneBox(StavelProcess& stavel, StbSimulator& box) {
    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_EQ(stavel.StateField("verdict"), "");
    EXPECT_EQ(stavel.StateField("verdictShown"), "0");
    std::thread boxThread([&] { box.Run(); });
    boxThread.join();
    for (int i = 0; i < 500 && stavel.StateField("verdict").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

TEST(WindowVerdict, PassAndPortLostEachShowTheirVerdictNotInColourAlone) {
    StavelProcess stavel;
    std::string imagePath;
    const std::vector<std::uint8_t> image = stavel.SaveImage("box.sdl", 8192, imagePath);
    ASSERT_FALSE(image.empty()) << imagePath;

    StbSimOptions options;
    options.image = image;
    options.blockSize = 512;
    options.startRepeatMs = 50;
    options.exitQuietMs = 20;
    StbSimulator good(options);
    const Result<void> goodOpened = good.OpenPty();
    ASSERT_TRUE(goodOpened) << goodOpened.Failure().Describe();
    // The second box's cable is pulled half-way.
    options.hangUpAfterBytes = 4096;
    StbSimulator pulled(options);
    const Result<void> pulledOpened = pulled.OpenPty();
    ASSERT_TRUE(pulledOpened) << pulledOpened.Failure().Describe();
    // The third is stopped by the operator half-way: slow enough to be caught.
    options.hangUpAfterBytes = -1;
    options.lineBytesPerSecond = 2048;
    StbSimulator stopped(options);
    const Result<void> stoppedOpened = stopped.OpenPty();
    ASSERT_TRUE(stoppedOpened) << stoppedOpened.Failure().Describe();
    stavel.WriteIni("[Gerneral]\r\nSdlFileName=" + imagePath + "\r\nCOM Port Number=7\r\n");
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM7", good.SlavePath()},
                              {"STAVEL_COM8", pulled.SlavePath()},
                              {"STAVEL_COM9", stopped.SlavePath()}}));

    // The drop-down says which numbers have a device behind them; the model keeps the number.
    EXPECT_EQ(stavel.StateField("comboItem"), "COM7 (" + good.SlavePath().substr(5) + ")");
    EXPECT_EQ(stavel.StateField("combo"), "6");
    ServeOneBox(stavel, good);
    EXPECT_EQ(stavel.StateField("verdict"), "PASS");
    EXPECT_EQ(stavel.StateField("verdictShown"), "1");
    EXPECT_NE(stavel.StateField("verdictWord").find("PASS"), std::string::npos);
    const std::string passLine = stavel.StateField("verdictDetail");
    EXPECT_EQ(passLine.rfind("COM7 (" + good.SlavePath() + "): PASS 8192 bytes in ", 0), 0u)
        << passLine;
    EXPECT_EQ(stavel.StateField("verdictLine"), passLine);
    // The progress text stays as the download left it.
    EXPECT_EQ(stavel.StateField("progress"), "( 8192 / 8192 ) Bytes");
    const Box word = PlaceOf(stavel.Command("places"), "verdict");
    ASSERT_GT(word.w, 40);
    ASSERT_GT(word.h, 20);
    // The toolkit paints when its loop is idle: the picture is taken once it has settled.
    const std::string passShot = stavel.Folder() + "/pass.png";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(stavel.Command("screenshot " + passShot).rfind("ok ", 0), 0u);
    const std::vector<bool> pass = InkOf(passShot, word);

    EXPECT_EQ(stavel.Command("choose 1002 7"), "ok");
    EXPECT_EQ(stavel.StateField("lampGreen"), "1");
    ServeOneBox(stavel, pulled);
    EXPECT_EQ(stavel.StateField("verdict"), "FAIL");
    EXPECT_NE(stavel.StateField("verdictWord").find("FAIL"), std::string::npos);
    const std::string failLine = stavel.StateField("verdictDetail");
    EXPECT_EQ(failLine.rfind("COM8 (" + pulled.SlavePath() + "): FAIL port lost at ", 0), 0u)
        << failLine;
    const std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("Connection COM8 lost!!!"), std::string::npos) << log;
    EXPECT_EQ(PlaceOf(stavel.Command("places"), "verdict").w, word.w);

    // In grey alone the two words still differ in shape: a good share of the area changes
    // between ink and ground.
    const std::string failShot = stavel.Folder() + "/fail.png";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(stavel.Command("screenshot " + failShot).rfind("ok ", 0), 0u);
    const std::vector<bool> fail = InkOf(failShot, word);
    ASSERT_EQ(pass.size(), fail.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < pass.size(); ++i) {
        differ += pass[i] != fail[i] ? 1 : 0;
    }
    EXPECT_GT(differ, pass.size() / 20) << differ << " of " << pass.size();

    // Stop once the box has spoken: the operator's stop is a FAIL with that reason; START
    // cleared the last verdict.
    EXPECT_EQ(stavel.Command("choose 1002 8"), "ok");
    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_EQ(stavel.StateField("verdictShown"), "0");
    std::thread boxThread([&] { stopped.Run(); });
    while (stavel.StateField("pos") == "0" && stavel.Running()) {
    }
    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    std::string shown;
    while (shown.empty() && stavel.Running()) {
        shown = stavel.StateField("verdict");
    }
    stopped.Stop();
    boxThread.join();
    EXPECT_EQ(shown, "ABORTED");
    const std::string stopLine = stavel.StateField("verdictDetail");
    EXPECT_EQ(
        stopLine.rfind("COM9 (" + stopped.SlavePath() + "): ABORTED stopped by the operator", 0),
        0u)
        << stopLine;

    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}
