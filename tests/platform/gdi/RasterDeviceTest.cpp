#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/raster/BuiltinFont.h"
#include "tests/support/raster/RasterDevice.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kInk = RGB(10, 20, 30);

LOGFONT Font(LONG escapement = 0) {
    LOGFONT lf{};
    lf.lfHeight = -11;
    lf.lfEscapement = escapement;
    lf.lfOrientation = escapement;
    return lf;
}

// The ink of one drawn text as a set of (x, y) pixels.
std::set<std::pair<int, int>> InkOf(const RasterDevice& raster, COLORREF ink) {
    std::set<std::pair<int, int>> pixels;
    for (int y = 0; y < raster.Height(); ++y) {
        for (int x = 0; x < raster.Width(); ++x) {
            if (raster.GetPixel(x, y) == ink) {
                pixels.insert({x, y});
            }
        }
    }
    return pixels;
}

}  // namespace

TEST(RasterDeviceTest, PixelsHoldExactlyTheColourDrawnAndFillsStayInside) {
    RasterDevice raster(20, 10, kWhite);
    raster.FillRect(RECT{-5, 2, 4, 50}, RGB(1, 2, 3));
    EXPECT_EQ(raster.GetPixel(0, 2), RGB(1, 2, 3));
    EXPECT_EQ(raster.GetPixel(3, 9), RGB(1, 2, 3));
    EXPECT_EQ(raster.GetPixel(4, 2), kWhite);
    EXPECT_EQ(raster.GetPixel(0, 1), kWhite);
    EXPECT_EQ(raster.GetPixel(20, 0), CLR_INVALID);
    EXPECT_EQ(raster.GetPixel(0, -1), CLR_INVALID);
    raster.Resize(3, 4, RGB(9, 9, 9));
    EXPECT_EQ(raster.Width(), 3);
    EXPECT_EQ(raster.GetPixel(2, 3), RGB(9, 9, 9));
}

TEST(RasterDeviceTest, FontMeasuresCellsAndEveryPrintableGlyphIsDistinct) {
    EXPECT_EQ(BuiltinFont::Measure(Font(), "Bytes"), (SIZE{30, 13}));
    EXPECT_EQ(BuiltinFont::Measure(Font(), ""), (SIZE{0, 13}));
    LOGFONT big = Font();
    big.lfHeight = 26;
    EXPECT_EQ(BuiltinFont::Measure(big, "ab"), (SIZE{24, 26}));

    std::set<std::vector<bool>> seen;
    for (int c = 0x21; c < 0x7F; ++c) {
        std::vector<bool> bits;
        for (int row = 0; row < BuiltinFont::kCellHeight; ++row) {
            for (int column = 0; column < BuiltinFont::kCellWidth; ++column) {
                bits.push_back(BuiltinFont::Ink(static_cast<unsigned char>(c), column, row));
            }
        }
        EXPECT_TRUE(seen.insert(bits).second)
            << "glyph of '" << static_cast<char>(c) << "' repeats another";
        EXPECT_FALSE(BuiltinFont::Ink(static_cast<unsigned char>(c), 5, 4)) << "spacing column";
    }
    for (int row = 0; row < BuiltinFont::kCellHeight; ++row) {
        for (int column = 0; column < BuiltinFont::kCellWidth; ++column) {
            EXPECT_FALSE(BuiltinFont::Ink(' ', column, row));
        }
    }
    // Bytes outside printable ASCII are drawn, as a box, not dropped.
    EXPECT_TRUE(BuiltinFont::Ink(0x07, 0, 2));
    EXPECT_TRUE(BuiltinFont::Ink(0xE9, 4, 8));
}

TEST(RasterDeviceTest, TextDrawsInsideItsCellsAndOnlyInsideTheClip) {
    RasterDevice raster(60, 20, kWhite);
    raster.DrawText(POINT{5, 3}, Font(), "H|", kInk, RECT{0, 0, 60, 20});
    const auto ink = InkOf(raster, kInk);
    ASSERT_FALSE(ink.empty());
    for (const auto& [x, y] : ink) {
        EXPECT_GE(x, 5);
        EXPECT_LT(x, 5 + 12);
        EXPECT_GE(y, 3);
        EXPECT_LT(y, 3 + 13);
    }
    // The H's left stem runs the full letter height.
    for (int y = 5; y < 12; ++y) {
        EXPECT_EQ(raster.GetPixel(5, y), kInk) << y;
    }

    RasterDevice clipped(60, 20, kWhite);
    clipped.DrawText(POINT{5, 3}, Font(), "H|", kInk, RECT{0, 0, 11, 20});
    for (const auto& [x, y] : InkOf(clipped, kInk)) {
        EXPECT_LT(x, 11);
    }
    EXPECT_EQ(InkOf(clipped, kInk).size(), InkOf(raster, kInk).size() - 1 * 7)
        << "only the bar of '|' (7 pixels, column 13) lies right of the clip";
}

TEST(RasterDeviceTest, TurnedTextRunsUpwardFromItsOriginAsTheFlatTextTurned) {
    RasterDevice flat(40, 40, kWhite);
    flat.DrawText(POINT{0, 0}, Font(), "Ab5", kInk, RECT{0, 0, 40, 40});
    RasterDevice turned(40, 40, kWhite);
    turned.DrawText(POINT{10, 30}, Font(900), "Ab5", kInk, RECT{0, 0, 40, 40});

    const auto flatInk = InkOf(flat, kInk);
    std::set<std::pair<int, int>> expected;
    for (const auto& [gx, gy] : flatInk) {
        expected.insert({10 + gy, 30 - 1 - gx});
    }
    EXPECT_EQ(InkOf(turned, kInk), expected);
    for (const auto& [x, y] : InkOf(turned, kInk)) {
        EXPECT_GE(y, 30 - 18);
        EXPECT_LT(y, 30);
        EXPECT_GE(x, 10);
        EXPECT_LT(x, 10 + 13);
    }
}
