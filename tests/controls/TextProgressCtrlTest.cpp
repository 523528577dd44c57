#include <chrono>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "controls/TextProgressCtrl.h"
#include "tests/support/raster/RasterDevice.h"
#include "tests/support/testhost/TestHost.h"

namespace {

constexpr COLORREF kNavy = RGB(0, 0, 128);       // COLOR_HIGHLIGHT
constexpr COLORREF kFace = RGB(192, 192, 192);   // COLOR_BTNFACE
constexpr COLORREF kBlack = RGB(0, 0, 0);        // COLOR_WINDOWTEXT
constexpr COLORREF kWhite = RGB(255, 255, 255);  // COLOR_WINDOW
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
Pixels Reference(const std::string& text, POINT at, int width, int height, LONG escapement = 0) {
    RasterDevice raster(width, height, kWhite);
    LOGFONT lf{};
    lf.lfEscapement = escapement;
    raster.DrawText(at, lf, text, RGB(1, 2, 3), RECT{0, 0, width, height});
    return InkOf(raster, {RGB(1, 2, 3)});
}

class TextProgressCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override { CTextProgressCtrl::s_nMarqueeDir = 1; }

    void Make(int width, int height, DWORD style = PBS_SMOOTH) {
        CreateParams params;
        params.kind = ControlKind::Progress;
        params.style = WS_CHILD | WS_VISIBLE | WS_BORDER | style;
        params.placement = WindowPlacement{0, 0, width, height};
        params.id = 1009;
        ASSERT_TRUE(bar.Create(params, nullptr));
    }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return bar.SendMessage(message, wParam, lParam);
    }
    int Paints() const { return host.PaintCount(bar.m_hWnd); }

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
    EXPECT_EQ(InkOf(raster, {kWhite, kBlack}),
              Reference("( 2500 / 10000 ) Bytes25%", POINT{2, 8}, 400, 30));
    bool whiteLeft = false;
    bool blackRight = false;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 400; ++x) {
            const COLORREF c = raster.GetPixel(x, y);
            if (x < 100) {
                ASSERT_TRUE(c == kNavy || c == kWhite) << x << "," << y;
                whiteLeft |= c == kWhite && x >= 90;
            } else {
                ASSERT_TRUE(c == kFace || c == kBlack) << x << "," << y;
                blackRight |= c == kBlack && x < 110;
            }
        }
    }
    EXPECT_TRUE(whiteLeft && blackRight) << "text on both sides close to the edge";
}

TEST_F(TextProgressCtrlTest, PercentageRoundsHalvesUpAndEmptyTextDrawsOnlyTheBar) {
    Make(400, 30);
    Send(PBM_SETRANGE, 0, kRange0To10000);
    const std::pair<int, std::string> cases[] = {{49, "0%"}, {50, "1%"}, {9999, "100%"}};
    for (const auto& [position, text] : cases) {
        Send(PBM_SETPOS, static_cast<WPARAM>(position));
        const auto width = static_cast<LONG>(text.size()) * 6;
        EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}),
                  Reference(text, POINT{(400 - width) / 2, 8}, 400, 30))
            << position;
    }
    EXPECT_EQ(Send(TPBM_SHOWPERCENT, 0), 1);
    EXPECT_TRUE(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}).empty());
    EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kNavy, kFace}).size(), 400u * 30u);
}

TEST_F(TextProgressCtrlTest, PositionRangeAndStepMessagesAnswerAsTheStandardControl) {
    Make(100, 20);
    EXPECT_EQ(Send(PBM_SETPOS, 150), 0);
    EXPECT_EQ(Send(PBM_GETPOS), 100);
    EXPECT_EQ(Send(PBM_SETPOS, static_cast<WPARAM>(-5)), 100);
    EXPECT_EQ(Send(PBM_GETPOS), 0);
    EXPECT_EQ(Send(PBM_DELTAPOS, 30), 0);
    EXPECT_EQ(Send(PBM_DELTAPOS, static_cast<WPARAM>(-100)), 30);
    EXPECT_EQ(Send(PBM_GETPOS), 0);

    EXPECT_EQ(Send(PBM_SETSTEP, 10), 10);
    Send(PBM_SETPOS, 95);
    EXPECT_EQ(Send(PBM_STEPIT), 95);
    EXPECT_EQ(Send(PBM_GETPOS), 5);
    EXPECT_EQ(Send(PBM_SETSTEP, static_cast<WPARAM>(-10)), 10);
    Send(PBM_SETPOS, 3);
    EXPECT_EQ(Send(PBM_STEPIT), 3);
    EXPECT_EQ(Send(PBM_GETPOS), 93);

    EXPECT_EQ(Send(PBM_GETRANGE, 0, 0), 100);
    EXPECT_EQ(Send(PBM_GETRANGE, 1, 0), 0);
    const int before = Paints();
    EXPECT_EQ(Send(PBM_SETRANGE32, static_cast<WPARAM>(-70000), 70000), 0x00640000);
    EXPECT_EQ(Send(PBM_SETRANGE32, 5, 10), static_cast<LRESULT>(0x1170EE90));
    EXPECT_EQ(Paints(), before) << "setting the range or step does not repaint";
    EXPECT_EQ(Send(PBM_GETPOS), 93) << "the position is not moved into a new range";
    PBRANGE range{};
    EXPECT_EQ(Send(PBM_GETRANGE, 1, reinterpret_cast<LPARAM>(&range)), 5);
    EXPECT_EQ(range.iLow, 5);
    EXPECT_EQ(range.iHigh, 10);

    // An inverted range: the lower bound is applied first, the upper one wins, nothing painted.
    Send(PBM_SETRANGE32, 10, 5);
    const COLORREF corner = host.Surface(bar.m_hWnd)->GetPixel(0, 0);
    host.Surface(bar.m_hWnd)->FillRect(RECT{0, 0, 100, 20}, RGB(1, 1, 1));
    EXPECT_EQ(Send(PBM_SETPOS, 7), 93);
    EXPECT_EQ(Send(PBM_GETPOS), 5);
    EXPECT_EQ(host.Surface(bar.m_hWnd)->GetPixel(0, 0), RGB(1, 1, 1));
    EXPECT_NE(corner, RGB(1, 1, 1));
}

TEST_F(TextProgressCtrlTest, ColoursAnswerOldRawValuesAndEffectiveOnesAndFollowTheSystem) {
    Make(100, 20);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(Send(TPBM_GETBARCOLOR), kNavy);
    EXPECT_EQ(Send(TPBM_GETBKCOLOR), kFace);
    EXPECT_EQ(Send(TPBM_GETTEXTCOLOR), kBlack);
    EXPECT_EQ(Send(TPBM_GETBARTEXTCOLOR), kWhite);

    const COLORREF red = RGB(255, 0, 0);
    int paints = Paints();
    EXPECT_EQ(Send(PBM_SETBARCOLOR, 0, red), static_cast<LRESULT>(CLR_DEFAULT));
    EXPECT_EQ(Paints(), paints + 1);
    EXPECT_EQ(host.Surface(bar.m_hWnd)->GetPixel(0, 0), red);
    EXPECT_EQ(Send(TPBM_GETBARCOLOR), red);
    EXPECT_EQ(Send(PBM_SETBARCOLOR, 0, CLR_DEFAULT), red);
    EXPECT_EQ(host.Surface(bar.m_hWnd)->GetPixel(0, 0), kNavy);

    EXPECT_EQ(Send(PBM_SETBKCOLOR, 0, RGB(0, 255, 0)), static_cast<LRESULT>(CLR_DEFAULT));
    EXPECT_EQ(host.Surface(bar.m_hWnd)->GetPixel(99, 0), RGB(0, 255, 0));
    EXPECT_EQ(Send(TPBM_SETTEXTCOLOR, 0, RGB(1, 1, 1)), static_cast<LRESULT>(CLR_DEFAULT));
    EXPECT_EQ(Send(TPBM_SETTEXTCOLOR, 0, RGB(2, 2, 2)), RGB(1, 1, 1));
    EXPECT_EQ(Send(TPBM_SETBARTEXTCOLOR, 0, RGB(3, 3, 3)), static_cast<LRESULT>(CLR_DEFAULT));
    EXPECT_EQ(Send(TPBM_GETTEXTCOLOR), RGB(2, 2, 2));
    EXPECT_EQ(Send(TPBM_GETBARTEXTCOLOR), RGB(3, 3, 3));
    EXPECT_EQ(Send(TPBM_SETTEXTALIGN, 2), 1);
    EXPECT_EQ(Send(TPBM_SETMARQUEESIZE, 35), 35);

    // A default colour is looked up at each use, so a changed system colour shows next paint.
    host.SetSysColor(COLOR_HIGHLIGHT, RGB(9, 9, 9));
    EXPECT_EQ(Send(TPBM_GETBARCOLOR), RGB(9, 9, 9));
    paints = Paints();
    bar.SetWindowText("changed");
    EXPECT_EQ(Paints(), paints) << "a text change alone does not repaint";
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(host.Surface(bar.m_hWnd)->GetPixel(0, 0), RGB(9, 9, 9));
    EXPECT_EQ(Send(WM_ERASEBKGND), 1);
}

TEST_F(TextProgressCtrlTest, MarqueeBlockEntersLeavesAndBouncesOneUnitPerTick) {
    Make(400, 30);
    EXPECT_EQ(Send(PBM_SETMARQUEE, 1, 30), 1);
    EXPECT_TRUE((bar.GetStyle() & PBS_MARQUEE) != 0);
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
    EXPECT_EQ(CTextProgressCtrl::s_nMarqueeDir, -1);
    // Position 118: the front edge is past the end, 8 pixels of the block remain.
    EXPECT_EQ(InkOf(raster, {kNavy}).size(), 8u * 30u) << "the block is leaving";
    EXPECT_EQ(raster.GetPixel(392, 5), kNavy);

    Send(PBM_SETPOS, 1);
    for (int tick = 0; tick < 2; ++tick) {
        host.Advance(std::chrono::milliseconds(30));
        host.Pump();
    }
    EXPECT_EQ(Send(PBM_GETPOS), 1) << "down to 0, then back up";
    EXPECT_EQ(CTextProgressCtrl::s_nMarqueeDir, 1);

    const int paints = Paints();
    Send(WM_TIMER, 2);
    EXPECT_EQ(Send(PBM_GETPOS), 1);
    EXPECT_EQ(Paints(), paints);

    EXPECT_EQ(Send(PBM_SETMARQUEE, 0), 0);
    EXPECT_FALSE(host.IsTimerSet(bar.m_hWnd, kMarqueeTimerId));
    EXPECT_TRUE((bar.GetStyle() & PBS_MARQUEE) != 0) << "stopping leaves the style";
    host.Advance(std::chrono::milliseconds(300));
    host.Pump();
    EXPECT_EQ(Send(PBM_GETPOS), 1);
}

TEST_F(TextProgressCtrlTest, AlignmentsAndAVerticalBarWithTurnedText) {
    Make(400, 30);
    Send(PBM_SETPOS, 50);
    Send(TPBM_SETTEXTALIGN, 0);
    EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}),
              Reference("50%", POINT{2, 8}, 400, 30));
    Send(TPBM_SETTEXTALIGN, 2);
    EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}),
              Reference("50%", POINT{400 - 18 - 3, 8}, 400, 30));

    CTextProgressCtrl tall;
    CreateParams params;
    params.kind = ControlKind::Progress;
    params.style = WS_CHILD | WS_VISIBLE | PBS_SMOOTH | PBS_VERTICAL;
    params.placement = WindowPlacement{0, 0, 30, 200};
    ASSERT_TRUE(tall.Create(params, nullptr));
    tall.SendMessage(PBM_SETPOS, 50);
    const RasterDevice& raster = *host.Surface(tall.m_hWnd);
    EXPECT_EQ(raster.GetPixel(0, 99), kFace);
    EXPECT_EQ(raster.GetPixel(0, 100), kNavy) << "grows from the bottom";
    EXPECT_EQ(raster.GetPixel(29, 199), kNavy);
    // Centred: x = (30 - 13) / 2, y = 18 + (200 - 18) / 2, running upward across the edge.
    EXPECT_EQ(InkOf(raster, {kWhite, kBlack}), Reference("50%", POINT{8, 109}, 30, 200, 900));
    for (const auto& [x, y] : InkOf(raster, {kWhite})) {
        EXPECT_GE(y, 100) << x;
    }
    for (const auto& [x, y] : InkOf(raster, {kBlack})) {
        EXPECT_LT(y, 100) << x;
    }
    tall.SendMessage(TPBM_SETTEXTALIGN, 0);
    EXPECT_EQ(InkOf(raster, {kWhite, kBlack}), Reference("50%", POINT{8, 197}, 30, 200, 900));
}

namespace {

// A host whose paints may cover only part of a window, as after an overlapping window moves.
class PartialPaintHost : public TestHost {
  public:
    std::unique_ptr<DeviceContext> BeginPaint(HWND hwnd) override {
        std::unique_ptr<DeviceContext> dc = TestHost::BeginPaint(hwnd);
        if (dc != nullptr) {
            dc->SetUpdateArea(updateArea);
        }
        return dc;
    }
    std::optional<RECT> updateArea;
};

}  // namespace

TEST(TextProgressPartialPaintTest, APartialPaintMatchesTheFullOneInsideAndLeavesTheRest) {
    CTextProgressCtrl::s_nMarqueeDir = 1;
    PartialPaintHost host;
    CTextProgressCtrl bar;
    CreateParams params;
    params.kind = ControlKind::Progress;
    params.style = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
    params.placement = WindowPlacement{0, 0, 400, 30};
    ASSERT_TRUE(bar.Create(params, nullptr));
    bar.SendMessage(PBM_SETRANGE, 0, kRange0To10000);
    bar.SendMessage(TPBM_SETTEXTALIGN, 0);
    bar.SetWindowText("( 2500 / 10000 ) Bytes");
    bar.SendMessage(PBM_SETPOS, 2500);
    RasterDevice& raster = *host.Surface(bar.m_hWnd);
    std::vector<COLORREF> full;
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 400; ++x) {
            full.push_back(raster.GetPixel(x, y));
        }
    }

    const COLORREF sentinel = RGB(7, 7, 7);
    raster.FillRect(RECT{0, 0, 400, 30}, sentinel);
    host.updateArea = RECT{50, 4, 150, 30};
    host.Paint(bar);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 400; ++x) {
            const bool inside = x >= 50 && x < 150 && y >= 4;
            const COLORREF expected = inside ? full[static_cast<size_t>(y * 400 + x)] : sentinel;
            ASSERT_EQ(raster.GetPixel(x, y), expected) << x << "," << y;
        }
    }
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

    CreateParams params;
    params.kind = ControlKind::Progress;
    params.style = WS_CHILD | WS_VISIBLE | PBS_SMOOTH;
    params.placement = WindowPlacement{0, 0, 400, 40};
    ASSERT_TRUE(bar.Create(params, &dialog));
    Send(PBM_SETPOS, 50);
    RasterDevice expected(400, 40, kWhite);
    expected.DrawText(POINT{(400 - 36) / 2, (40 - 26) / 2}, lf, "50%", RGB(1, 2, 3),
                      RECT{0, 0, 400, 40});
    EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}), InkOf(expected, {RGB(1, 2, 3)}));

    CFont own;
    LOGFONT small{};
    small.lfHeight = -11;
    own.CreateFontIndirect(&small);
    bar.SetFont(&own);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(InkOf(*host.Surface(bar.m_hWnd), {kWhite, kBlack}),
              Reference("50%", POINT{(400 - 18) / 2, (40 - 13) / 2}, 400, 40));
    bar.DestroyWindow();
}
