#include <climits>

#include <gtest/gtest.h>

#include "controls/ProgressLayout.h"

using O = ProgressOrientation;
using S = ProgressStyle;

// The cases a drawn bar shows (rounding at 49 and 50, the quarter bar, the marquee entering and
// crossing, each alignment) are in TextProgressCtrlTest; these are the ones it cannot reach.
TEST(ProgressLayoutTest, PercentRoundsHalvesUpAndMarqueeLimitAddsTheBlock) {
    EXPECT_EQ(ProgressPercent(ProgressFraction(150, 0, 100)), 150);
    EXPECT_EQ(ProgressPercent(ProgressFraction(-50, 0, 100)), -49) << "trunc(-50 + 0.5)";
    EXPECT_DOUBLE_EQ(ProgressFraction(INT_MAX, INT_MIN, INT_MAX), 1.0) << "no overflow";

    EXPECT_EQ(MarqueeLimit(20, 100), 120);
    EXPECT_EQ(MarqueeLimit(20, 10000), 12000);
    EXPECT_EQ(MarqueeLimit(0, 7), 7);
    EXPECT_EQ(MarqueeLimit(INT_MAX, INT_MAX), INT_MAX) << "saturates instead of overflowing";
}

TEST(ProgressLayoutTest, NormalBarsGrowFromTheLeftAndFromTheBottom) {
    const RECT r{0, 0, 400, 30};
    const RECT v{5, 10, 25, 110};
    ProgressAreas a = ComputeProgressAreas(v, 0.3, O::Vertical, S::Normal, 20);
    EXPECT_EQ(a.bar, (RECT{5, 80, 25, 110}));
    EXPECT_EQ(a.after, (RECT{5, 10, 25, 80}));
    EXPECT_FALSE(a.drawBefore);

    // A position far past its range is not clamped to the client area, and does not overflow.
    a = ComputeProgressAreas(r, 1e12, O::Horizontal, S::Normal, 20);
    EXPECT_GT(a.bar.right, 400);
    EXPECT_EQ(a.after.left, a.bar.right);
    a = ComputeProgressAreas(r, -2.0, O::Horizontal, S::Normal, 20);
    EXPECT_EQ(a.bar.right, -800);
}

TEST(ProgressLayoutTest, MarqueeBlockEntersCrossesAndLeaves) {
    const RECT r{0, 0, 100, 20};
    // Leaving at the marquee limit (120 of 100).
    ProgressAreas a = ComputeProgressAreas(r, 1.2, O::Horizontal, S::Marquee, 20);
    EXPECT_EQ(a.before, (RECT{0, 0, 100, 20}));
    EXPECT_EQ(a.bar, (RECT{100, 0, 100, 20}));
    EXPECT_FALSE(a.drawAfter);

    const RECT v{0, 0, 20, 100};
    a = ComputeProgressAreas(v, 0.5, O::Vertical, S::Marquee, 20);
    EXPECT_EQ(a.after, (RECT{0, 0, 20, 50}));
    EXPECT_EQ(a.bar, (RECT{0, 50, 20, 70}));
    EXPECT_EQ(a.before, (RECT{0, 70, 20, 100}));
    a = ComputeProgressAreas(v, 0.1, O::Vertical, S::Marquee, 20);
    EXPECT_EQ(a.bar, (RECT{0, 90, 20, 100}));
    EXPECT_FALSE(a.drawBefore);
    a = ComputeProgressAreas(v, 1.1, O::Vertical, S::Marquee, 20);
    EXPECT_EQ(a.bar, (RECT{0, 0, 20, 10}));
    EXPECT_FALSE(a.drawAfter);
    // A huge block size cannot overflow.
    a = ComputeProgressAreas(r, 0.5, O::Horizontal, S::Marquee, INT_MAX);
    EXPECT_FALSE(a.drawBefore);
    EXPECT_EQ(a.bar.left, 0);
}

TEST(ProgressLayoutTest, TextPlacementForEachAlignment) {
    const RECT r{0, 0, 400, 30};
    const SIZE text{60, 13};
    // An alignment the control does not know centres the text.
    EXPECT_EQ(PlaceProgressText(r, text, O::Horizontal, 7), (POINT{170, 8}));
    // Odd leftovers truncate toward zero, also when the text is wider than the bar.
    EXPECT_EQ(PlaceProgressText(RECT{0, 0, 41, 30}, SIZE{60, 13}, O::Horizontal, 1),
              (POINT{-9, 8}));

    const RECT v{0, 0, 30, 200};
    EXPECT_EQ(PlaceProgressText(v, text, O::Vertical, 2), (POINT{8, 62}));
    EXPECT_EQ(PlaceProgressText(v, text, O::Vertical, 1), (POINT{8, 130}));
}
