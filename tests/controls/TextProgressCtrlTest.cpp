// The progress bar as it is drawn: the pixels of a quarter bar with its text split in two
// colours, the marquee, a vertical bar with turned text, the font; and the layout arithmetic
// that a drawn bar cannot reach.

#include <chrono>
#include <climits>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controls/ProgressLayout.h"
#include "controls/TextProgressCtrl.h"
#include "tests/support/raster/RasterDevice.h"
#include "tests/support/testhost/TestHost.h"

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);             // COLOR_HIGHLIGHT
constexpr COLORREF kFace = RGB(192, 192, 192);         // COLOR_BTNFACE
constexpr COLORREF kBlack = RGB(0, 0, 0);              // COLOR_WINDOWTEXT
constexpr COLORREF kWindowWhite = RGB(255, 255, 255);  // COLOR_WINDOW
constexpr LPARAM kRange0To10000 = 0x27100000;

using Pixels = std::set<std::pair<int, int>>;

Pixels InkOf(const RasterDevice& raster, std::initializer_list<COLORREF> colours) {
    Pixels pixels;
    for (int y = 0; y < raster.Height(); ++y) {
        for (int x = 0; x < raster.Width(); ++x) {
            for (COLORREF c : colours) {
                if (raster.GetPixel(x, y) == c) {
                    pixels.insert({x, y});
                }
            }
        }
    }
    return pixels;
}

// Where `text` puts ink when drawn at `at` by the raster itself, to compare a paint against.
Pixels Reference(const std::string& text, POINT at, int width, int height, LOGFONT lf = {}) {
    RasterDevice raster(width, height, kWindowWhite);
    raster.DrawText(at, lf, text, RGB(1, 2, 3), RECT{0, 0, width, height});
    Pixels ink = InkOf(raster, {RGB(1, 2, 3)});
    // A raster that drew no text would make every comparison below pass.
    EXPECT_GT(ink.size(), 4 * text.size()) << text;
    return ink;
}

class TextProgressCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override { CTextProgressCtrl::s_nMarqueeDir = 1; }

    void Make(int width, int height, DWORD style = PBS_SMOOTH, CWnd* parent = nullptr) {
        CreateParams params;
        params.kind = ControlKind::Progress;
        params.style = WS_CHILD | WS_VISIBLE | WS_BORDER | style;
        params.placement = WindowPlacement{0, 0, width, height};
        params.id = 1009;
        ASSERT_TRUE(bar.Create(params, parent));
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return bar.SendMessage(message, wParam, lParam);
    }
    Pixels Text() { return InkOf(*host.Surface(bar.m_hWnd), {kWindowWhite, kBlack}); }

    TestHost host;
    CTextProgressCtrl bar;
};

}  // namespace

TEST_F(TextProgressCtrlTest, QuarterBarWithTextSplitInTwoColoursAtTheBarsEdge) {
    Make(400, 30);
    EXPECT_EQ(Send(PBM_SETRANGE, 0, kRange0To10000), 0x00640000);
    Send(TPBM_SETTEXTALIGN, 0);
    bar.SetWindowText("( 2500 / 10000 ) Bytes");
    Send(PBM_SETPOS, 2500);
    const RasterDevice& raster = *host.Surface(bar.m_hWnd);
    EXPECT_EQ(raster.GetPixel(99, 0), kNavy);
    EXPECT_EQ(raster.GetPixel(100, 0), kFace);
    EXPECT_EQ(raster.GetPixel(399, 29), kFace);
    // The window text, then the percentage with no blank between.
    EXPECT_EQ(Text(), Reference("( 2500 / 10000 ) Bytes25%", POINT{2, 8}, 400, 30));
    bool whiteLeft = false;
    bool blackRight = false;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 400; ++x) {
            const COLORREF c = raster.GetPixel(x, y);
            if (x < 100) {
                ASSERT_TRUE(c == kNavy || c == kWindowWhite) << x << "," << y;
                whiteLeft |= c == kWindowWhite && x >= 90;
            } else {
                ASSERT_TRUE(c == kFace || c == kBlack) << x << "," << y;
                blackRight |= c == kBlack && x < 110;
            }
        }
    }
    EXPECT_TRUE(whiteLeft && blackRight) << "text on both sides close to the edge";

    // The percentage rounds halves up; without it an empty text draws only the bar.
    bar.SetWindowText("");
    Send(PBM_SETPOS, 49);
    EXPECT_EQ(Text(), Reference("0%", POINT{2, 8}, 400, 30));
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(Text(), Reference("1%", POINT{2, 8}, 400, 30));
    EXPECT_EQ(Send(TPBM_SHOWPERCENT, 0), 1);
    EXPECT_TRUE(Text().empty());
    EXPECT_EQ(InkOf(raster, {kNavy, kFace}).size(), 400u * 30u);
}

TEST_F(TextProgressCtrlTest, PositionsAreClampedAndAStepPastTheEndWraps) {
    Make(100, 20);
    EXPECT_EQ(Send(PBM_SETPOS, 150), 0);
    EXPECT_EQ(Send(PBM_GETPOS), 100);
    EXPECT_EQ(Send(PBM_SETPOS, static_cast<WPARAM>(-5)), 100);
    EXPECT_EQ(Send(PBM_GETPOS), 0);
    EXPECT_EQ(Send(PBM_DELTAPOS, static_cast<WPARAM>(-100)), 0);
    EXPECT_EQ(Send(PBM_GETPOS), 0);
    EXPECT_EQ(Send(PBM_SETSTEP, 10), 10);
    Send(PBM_SETPOS, 95);
    EXPECT_EQ(Send(PBM_STEPIT), 95);
    EXPECT_EQ(Send(PBM_GETPOS), 5);
    Send(PBM_SETSTEP, static_cast<WPARAM>(-10));
    Send(PBM_SETPOS, 3);
    EXPECT_EQ(Send(PBM_STEPIT), 3);
    EXPECT_EQ(Send(PBM_GETPOS), 93);
}

TEST_F(TextProgressCtrlTest, MarqueeBlockEntersLeavesAndBouncesOneUnitPerTick) {
    Make(400, 30);
    EXPECT_EQ(Send(PBM_SETMARQUEE, 1, 30), 1);
    EXPECT_TRUE(host.IsTimerSet(bar.m_hWnd, kMarqueeTimerId));
    EXPECT_EQ(Send(TPBM_SHOWPERCENT, 1), 0) << "starting the marquee turns the percentage off";
    Send(TPBM_SHOWPERCENT, 0);
    Send(PBM_SETPOS, 500);
    EXPECT_EQ(Send(PBM_GETPOS), 120) << "the marquee limit with the defaults";

    // Entering: the block's front edge at 10% with its tail still outside.
    Send(PBM_SETPOS, 10);
    const RasterDevice& raster = *host.Surface(bar.m_hWnd);
    EXPECT_EQ(raster.GetPixel(0, 5), kNavy);
    EXPECT_EQ(raster.GetPixel(39, 5), kNavy);
    EXPECT_EQ(raster.GetPixel(40, 5), kFace);
    // Crossing: 20% of the bar long.
    Send(PBM_SETPOS, 60);
    EXPECT_EQ(raster.GetPixel(159, 5), kFace);
    EXPECT_EQ(raster.GetPixel(160, 5), kNavy);
    EXPECT_EQ(raster.GetPixel(239, 5), kNavy);
    EXPECT_EQ(raster.GetPixel(240, 5), kFace);

    Send(PBM_SETPOS, 118);
    std::vector<LRESULT> positions;
    for (int tick = 0; tick < 4; ++tick) {
        host.Advance(std::chrono::milliseconds(30));
        host.Pump();
        positions.push_back(Send(PBM_GETPOS));
    }
    EXPECT_EQ(positions, (std::vector<LRESULT>{119, 120, 119, 118}));
    // Position 118: the front edge is past the end, 8 pixels of the block remain.
    EXPECT_EQ(InkOf(raster, {kNavy}).size(), 8u * 30u) << "the block is leaving";
    EXPECT_EQ(raster.GetPixel(392, 5), kNavy);
    Send(PBM_SETPOS, 1);
    for (int tick = 0; tick < 2; ++tick) {
        host.Advance(std::chrono::milliseconds(30));
        host.Pump();
    }
    EXPECT_EQ(Send(PBM_GETPOS), 1) << "down to 0, then back up";

    EXPECT_EQ(Send(PBM_SETMARQUEE, 0), 0);
    EXPECT_FALSE(host.IsTimerSet(bar.m_hWnd, kMarqueeTimerId));
    host.Advance(std::chrono::milliseconds(300));
    host.Pump();
    EXPECT_EQ(Send(PBM_GETPOS), 1);
}

TEST_F(TextProgressCtrlTest, AVerticalBarGrowsFromTheBottomWithTurnedText) {
    Make(30, 200, PBS_SMOOTH | PBS_VERTICAL);
    Send(PBM_SETPOS, 50);
    const RasterDevice& raster = *host.Surface(bar.m_hWnd);
    EXPECT_EQ(raster.GetPixel(0, 99), kFace);
    EXPECT_EQ(raster.GetPixel(0, 100), kNavy);
    EXPECT_EQ(raster.GetPixel(29, 199), kNavy);
    // Centred: x = (30 - 13) / 2, y = 18 + (200 - 18) / 2, running upward across the edge.
    LOGFONT turned{};
    turned.lfEscapement = 900;
    EXPECT_EQ(Text(), Reference("50%", POINT{8, 109}, 30, 200, turned));
    for (const auto& [x, y] : InkOf(raster, {kWindowWhite})) {
        EXPECT_GE(y, 100) << x;
    }
    for (const auto& [x, y] : InkOf(raster, {kBlack})) {
        EXPECT_LT(y, 100) << x;
    }
    Send(TPBM_SETTEXTALIGN, 0);
    EXPECT_EQ(Text(), Reference("50%", POINT{8, 197}, 30, 200, turned));
}

TEST_F(TextProgressCtrlTest, TextUsesTheControlsFontElseItsDialogsFont) {
    CWnd dialog;
    CreateParams dialogParams;
    dialogParams.kind = ControlKind::Dialog;
    dialogParams.placement = WindowPlacement{0, 0, 500, 100};
    ASSERT_TRUE(dialog.Create(dialogParams, nullptr));
    CFont big;
    LOGFONT lf{};
    lf.lfHeight = 26;
    ASSERT_TRUE(big.CreateFontIndirect(&lf));
    dialog.SetFont(&big);
    Make(400, 40, PBS_SMOOTH, &dialog);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(Text(), Reference("50%", POINT{(400 - 36) / 2, (40 - 26) / 2}, 400, 40, lf));

    CFont own;
    LOGFONT small{};
    small.lfHeight = -11;
    own.CreateFontIndirect(&small);
    bar.SetFont(&own);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(Text(), Reference("50%", POINT{(400 - 18) / 2, (40 - 13) / 2}, 400, 40));
    bar.DestroyWindow();
}

using O = ProgressOrientation;
using S = ProgressStyle;

TEST(ProgressLayoutTest, PercentAndMarqueeLimitNeverOverflow) {
    EXPECT_EQ(ProgressPercent(ProgressFraction(150, 0, 100)), 150);
    EXPECT_EQ(ProgressPercent(ProgressFraction(-50, 0, 100)), -49) << "trunc(-50 + 0.5)";
    EXPECT_DOUBLE_EQ(ProgressFraction(INT_MAX, INT_MIN, INT_MAX), 1.0);
    EXPECT_EQ(MarqueeLimit(20, 10000), 12000);
    EXPECT_EQ(MarqueeLimit(0, 7), 7);
    EXPECT_EQ(MarqueeLimit(INT_MAX, INT_MAX), INT_MAX) << "saturates instead of overflowing";
}

TEST(ProgressLayoutTest, TextPlacementForEachAlignment) {
    const SIZE text{60, 13};
    // An alignment the control does not know centres the text.
    EXPECT_EQ(PlaceProgressText(RECT{0, 0, 400, 30}, text, O::Horizontal, 7), (POINT{170, 8}));
    // Odd leftovers truncate toward zero, also when the text is wider than the bar.
    EXPECT_EQ(PlaceProgressText(RECT{0, 0, 41, 30}, text, O::Horizontal, 1), (POINT{-9, 8}));
    EXPECT_EQ(PlaceProgressText(RECT{0, 0, 30, 200}, text, O::Vertical, 2), (POINT{8, 62}));
    EXPECT_EQ(PlaceProgressText(RECT{0, 0, 30, 200}, text, O::Vertical, 1), (POINT{8, 130}));
}
