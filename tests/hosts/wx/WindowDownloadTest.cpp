// Stavel_OV serving two simulated boxes: the first to the end (a screenshot taken mid-download
// shows the bar and its text split at the bar's edge), the second hung up half-way. Each verdict
// is read from the window's state and from a screenshot in which PASS and FAIL differ in shape,
// not in colour alone.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <png.h>

#include "platform/window/DialogTemplate.h"
#include "tests/hosts/wx/StavelProcess.h"
#include "tools/stbsim/StbSimulator.h"

namespace {

constexpr std::size_t kImageSize = 16384;

struct Rgb {
    int r = 0, g = 0, b = 0;
};

int Distance(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// A screenshot read back as RGB pixels.
struct PngPicture {
    bool Load(const std::string& path) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
            return false;
        }
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        width = static_cast<int>(image.width);
        height = static_cast<int>(image.height);
        return png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) != 0;
    }
    Rgb At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
};

struct Shot {
    int width = 0, height = 0;
    DialogBaseUnits units;
    int pos = 0;
    WindowPlacement bar;
};

bool ParseShot(const std::string& answer, Shot& shot) {
    std::istringstream in(answer);
    std::string ok;
    in >> ok >> shot.width >> shot.height >> shot.units.cx >> shot.units.cy >> shot.pos >>
        shot.bar.x >> shot.bar.y >> shot.bar.cx >> shot.bar.cy;
    return ok == "ok" && !in.fail();
}

// Checks the picture against the template and the bar's position; answers whether the bar's
// text lay across the edge of the filled part.
bool CheckShot(const std::string& file, const Shot& shot) {
    PngPicture picture;
    EXPECT_TRUE(picture.Load(file));
    const WindowPlacement dialog = MapDialogRect(0, 0, 319, 291, shot.units);
    EXPECT_EQ(picture.width, dialog.cx);
    EXPECT_EQ(picture.height, dialog.cy);
    // The template's bar, moved down to leave the verdict's line room for a second row.
    const WindowPlacement bar = shot.bar;
    const WindowPlacement templateBar = MapDialogRect(7, 59, 305, 18, shot.units);
    EXPECT_EQ(bar.x, templateBar.x);
    EXPECT_EQ(bar.cx, templateBar.cx);
    EXPECT_EQ(bar.cy, templateBar.cy);
    EXPECT_GT(bar.y, templateBar.y);
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
    EXPECT_NEAR(edge, bar.x + (bar.cx * shot.pos + 5000) / 10000, 2) << "position " << shot.pos;
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

// The verdict's word area, once the toolkit has painted it, as grey levels thresholded to ink
// (true) and ground.
std::vector<bool> VerdictInk(StavelProcess& stavel, const std::string& name, const Box& area,
                             const std::string& verb = "screenshot") {
    const std::string file = stavel.Folder() + "/" + name + ".png";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(stavel.Command(verb + " " + file).rfind("ok ", 0), 0u);
    PngPicture picture;
    EXPECT_TRUE(picture.Load(file));
    std::vector<double> grey;
    double low = 255, high = 0;
    for (int y = area.y; y < area.y + area.h; ++y) {
        for (int x = area.x; x < area.x + area.w; ++x) {
            const Rgb p = picture.At(x, y);
            grey.push_back(0.299 * p.r + 0.587 * p.g + 0.114 * p.b);
            low = std::min(low, grey.back());
            high = std::max(high, grey.back());
        }
    }
    // Without colour the word must still stand out from its ground.
    EXPECT_GT(high - low, 120) << name;
    std::vector<bool> ink;
    for (double g : grey) {
        ink.push_back(g > (low + high) / 2);
    }
    return ink;
}

// The height of the word's last letter ("L" of FAIL, "S" of PASS): the letters' cap height.
int CapHeight(const std::vector<bool>& ink, const Box& area) {
    auto inkAt = [&](int x, int y) { return ink[static_cast<std::size_t>(y) * area.w + x]; };
    auto columnHasInk = [&](int x) {
        for (int y = 0; y < area.h; ++y) {
            if (inkAt(x, y)) {
                return true;
            }
        }
        return false;
    };
    int right = area.w - 1;
    while (right >= 0 && !columnHasInk(right)) {
        --right;
    }
    int left = right;
    while (left > 0 && columnHasInk(left - 1)) {
        --left;
    }
    int top = area.h, bottom = -1;
    for (int x = std::max(left, 0); x <= right; ++x) {
        for (int y = 0; y < area.h; ++y) {
            if (inkAt(x, y)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return bottom - top + 1;
}

// Each state read waits for an answer, so the count only guards against a hang.
void WaitForVerdict(StavelProcess& stavel) {
    for (int i = 0; i < 3000 && stavel.StateField("verdict").empty(); ++i) {
    }
}

}  // namespace

TEST(WindowDownload, ServesABoxToPassThenFailsOneThatHangsUp) {
    StavelProcess stavel;
    std::string imagePath;
    const std::vector<std::uint8_t> image =
        stavel.SaveImage("box image.sdl", kImageSize, imagePath);
    ASSERT_FALSE(image.empty()) << imagePath;

    StbSimOptions options;
    options.image = image;
    options.blockSize = 512;
    options.startRepeatMs = 50;
    options.hangUpAfterBytes = 4096;  // the second box's cable is pulled half-way
    StbSimulator pulled(options);
    const Result<void> pulledOpened = pulled.OpenPty();
    ASSERT_TRUE(pulledOpened) << pulledOpened.Failure().Describe();
    options.hangUpAfterBytes = -1;
    options.blockSize = 256;
    options.lineBytesPerSecond = 4096;  // slow enough to catch the bar half-way
    options.consoleNoise = true;
    StbSimulator good(options);
    const Result<void> goodOpened = good.OpenPty();
    ASSERT_TRUE(goodOpened) << goodOpened.Failure().Describe();

    stavel.WriteIni("[Gerneral]\r\nSdlFileName=" + imagePath + "\r\nCOM Port Number=7\r\n");
    ASSERT_TRUE(
        stavel.Start({{"STAVEL_COM7", good.SlavePath()}, {"STAVEL_COM8", pulled.SlavePath()}}));
    // The drop-down says which numbers have a device behind them; the model keeps the number.
    EXPECT_EQ(stavel.StateField("combo"), "6");
    EXPECT_EQ(stavel.StateField("comboItem"), "COM7 (" + good.SlavePath().substr(5) + ")");
    EXPECT_NE(stavel.StateField("comboTip").find(good.SlavePath()), std::string::npos);
    EXPECT_EQ(stavel.StateField("lampGreen"), "1");
    EXPECT_EQ(stavel.StateField("lampRed"), "0");
    EXPECT_EQ(stavel.StateField("path"), imagePath);

    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_EQ(stavel.StateField("start"), "Stop");
    EXPECT_EQ(stavel.StateField("verdictShown"), "0");
    std::atomic<bool> done{false};
    StbVerdict verdict;
    std::thread boxThread([&] {
        verdict = good.Run();
        done = true;
    });
    bool straddled = false;
    for (int shots = 0; !done && stavel.Running();) {
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
    WaitForVerdict(stavel);

    const std::string size = std::to_string(kImageSize);
    EXPECT_EQ(stavel.StateField("progress"), "( " + size + " / " + size + " ) Bytes");
    EXPECT_EQ(stavel.StateField("pos"), "10000");
    std::string log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("***************************** Start program"), std::string::npos);
    EXPECT_NE(log.find("Filename = '" + imagePath + "', Size = " + size + " bytes\n"),
              std::string::npos);
    EXPECT_NE(log.find("Please connect serial port and turn on.....\n"), std::string::npos);
    EXPECT_NE(log.find("\nStop uploading....\n"), std::string::npos);
    EXPECT_EQ(log.find('\r'), std::string::npos);
    // The box's console text, echoed byte by byte, shows as whole lines.
    EXPECT_NE(log.find("\nloader: "), std::string::npos);
    const std::string ini = stavel.ReadIni();
    EXPECT_NE(ini.find("SdlFileName=" + imagePath + "\r\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("COM Port Number=7\r\n"), std::string::npos) << ini;

    EXPECT_EQ(stavel.StateField("verdict"), "PASS");
    EXPECT_EQ(stavel.StateField("verdictShown"), "1");
    EXPECT_NE(stavel.StateField("verdictWord").find("PASS"), std::string::npos);
    const std::string passLine = stavel.StateField("verdictDetail");
    EXPECT_EQ(passLine.rfind("COM7 (" + good.SlavePath() + "): PASS " + size + " bytes in ", 0), 0u)
        << passLine;
    EXPECT_EQ(stavel.StateField("verdictLine"), passLine);
    const Box word = PlaceOf(stavel.Command("places"), "verdict");
    ASSERT_GT(word.w, 40);
    ASSERT_GT(word.h, 20);
    const std::vector<bool> pass = VerdictInk(stavel, "pass", word);

    // The second box, on COM8, loses its cable: START cleared the last verdict.
    EXPECT_EQ(stavel.Command("choose 1002 7"), "ok");
    EXPECT_EQ(stavel.StateField("lampGreen"), "1");
    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_EQ(stavel.StateField("verdict"), "");
    EXPECT_EQ(stavel.StateField("verdictShown"), "0");
    std::thread([&] { pulled.Run(); }).join();
    WaitForVerdict(stavel);
    EXPECT_EQ(stavel.StateField("verdict"), "FAIL");
    EXPECT_NE(stavel.StateField("verdictWord").find("FAIL"), std::string::npos);
    const std::string failLine = stavel.StateField("verdictDetail");
    EXPECT_EQ(failLine.rfind("COM8 (" + pulled.SlavePath() + "): FAIL port lost at ", 0), 0u)
        << failLine;
    log = Unescape(stavel.Command("log").substr(3));
    EXPECT_NE(log.find("Connection COM8 lost!!!"), std::string::npos) << log;
    EXPECT_EQ(PlaceOf(stavel.Command("places"), "verdict").w, word.w);

    // In grey alone the two words differ in shape: a good share of the area changes between
    // ink and ground.
    const std::vector<bool> fail = VerdictInk(stavel, "fail", word);
    ASSERT_EQ(pass.size(), fail.size());
    std::size_t differ = 0;
    for (std::size_t i = 0; i < pass.size(); ++i) {
        differ += pass[i] != fail[i] ? 1 : 0;
    }
    EXPECT_GT(differ, pass.size() / 20) << differ << " of " << pass.size();

    // The window is at its smallest; at 1600 x 1000 the word reads from across the room.
    const int smallest = CapHeight(fail, word);
    EXPECT_EQ(stavel.Command("resize 1600 1000"), "ok");
    EXPECT_EQ(stavel.Command("move 0 0"), "ok");
    const Box large = PlaceOf(stavel.Command("places"), "verdict");
    const int capHeight = CapHeight(VerdictInk(stavel, "fail-large", large), large);
    std::printf("verdict cap height: %d px at the smallest window, %d px at 1600x1000\n", smallest,
                capHeight);
    EXPECT_GE(capHeight, 24);
    EXPECT_GT(capHeight, smallest);

    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}

// What an operator saw: maximised by the window manager, the word showed only its top few
// pixels, seconds later still, while the program's own resize drew it whole. Here a real
// window manager resizes the window, round after round, and the word is measured in the
// window's pixels as the display shows them, nothing painted on request.
TEST(WindowDownload, TheVerdictReadsWholeAfterEveryResizeOfTheWindowManager) {
    for (const char* tool : {"openbox", "xdotool", "xprop"}) {
        if (ChildProcess({"sh", "-c", std::string("command -v ") + tool}).Wait().status != 0) {
            GTEST_SKIP() << tool << " is missing (scripts/install-deps.sh installs it)";
        }
    }
    ChildProcess manager({"openbox"});
    for (int i = 0; i < 500; ++i) {
        ChildProcess check({"xprop", "-root", "_NET_SUPPORTING_WM_CHECK"});
        check.Wait();
        if (check.Stdout().find("window id") != std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    StavelProcess stavel;
    std::string imagePath;
    const std::vector<std::uint8_t> image = stavel.SaveImage("box.sdl", kImageSize, imagePath);
    ASSERT_FALSE(image.empty()) << imagePath;
    StbSimOptions options;
    options.image = image;
    options.startRepeatMs = 50;
    StbSimulator box(options);
    ASSERT_TRUE(box.OpenPty());
    stavel.WriteIni("[Gerneral]\r\nSdlFileName=" + imagePath + "\r\nCOM Port Number=7\r\n");
    ASSERT_TRUE(stavel.Start({{"STAVEL_COM7", box.SlavePath()}}));
    ASSERT_EQ(stavel.Command("click 1000"), "ok");
    EXPECT_TRUE(box.Run().ok);
    WaitForVerdict(stavel);
    ASSERT_EQ(stavel.StateField("verdict"), "PASS");

    ChildProcess search(
        {"xdotool", "search", "--sync", "--onlyvisible", "--pid", std::to_string(stavel.Pid())});
    search.Wait();
    const std::string window = search.Stdout().substr(0, search.Stdout().find('\n'));
    ASSERT_FALSE(window.empty()) << search.Stderr();

    for (int round = 1; round <= 3; ++round) {
        for (const auto& [width, height] : {std::pair{558, 472}, {1600, 1000}, {1920, 1080}}) {
            const std::string size = std::to_string(width) + "x" + std::to_string(height);
            ChildProcess({"xdotool", "windowsize", "--sync", window, std::to_string(width),
                          std::to_string(height)})
                .Wait();
            const Box word = PlaceOf(stavel.Command("places"), "verdict");
            ASSERT_GT(word.h, 20) << size;
            const std::vector<bool> ink =
                VerdictInk(stavel, "round" + std::to_string(round) + "-" + size, word, "grab");
            const int capHeight = CapHeight(ink, word);
            std::printf("round %d, %s: band %d px high, cap height %d px\n", round, size.c_str(),
                        word.h, capHeight);
            // The letters are two thirds of the band; a capital is about seven tenths of that.
            EXPECT_GE(capHeight, word.h / 3) << size << ", round " << round;
        }
    }
    EXPECT_EQ(stavel.Command("click 1"), "ok");
    EXPECT_EQ(stavel.WaitForExit(), std::optional<int>(0));
}
