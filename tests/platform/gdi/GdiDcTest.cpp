#include <gtest/gtest.h>

#include "platform/gdi/DC.h"
#include "tests/support/raster/RasterDevice.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

int Count(const RasterDevice& raster, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < raster.Height(); ++y) {
        for (int x = 0; x < raster.Width(); ++x) {
            n += raster.GetPixel(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

}  // namespace

TEST(GdiDcTest, WindowOriginShiftsDrawingAndTheClipBox) {
    RasterDevice raster(50, 40, kWhite);
    raster.SetUpdateArea(RECT{10, 5, 30, 25});
    CDC dc;
    ASSERT_TRUE(dc.Attach(&raster));
    RECT box;
    EXPECT_EQ(dc.GetClipBox(&box), SIMPLEREGION);
    EXPECT_EQ(box, (RECT{10, 5, 30, 25}));

    EXPECT_EQ(dc.SetWindowOrg(100, 200), (POINT{0, 0}));
    dc.GetClipBox(&box);
    EXPECT_EQ(box, (RECT{110, 205, 130, 225}));
    dc.FillSolidRect(RECT{100, 200, 115, 210}, kRed);
    // Only the part inside the update area changed.
    EXPECT_EQ(Count(raster, kRed), 5 * 5);
    EXPECT_EQ(raster.GetPixel(10, 5), kRed);
    EXPECT_EQ(raster.GetPixel(9, 5), kWhite);
    EXPECT_EQ(dc.GetBkColor(), kRed) << "a solid fill leaves its colour as background colour";

    POINT p{110, 205};
    dc.LPtoDP(&p);
    EXPECT_EQ(p, (POINT{10, 5}));
    dc.DPtoLP(&p);
    EXPECT_EQ(p, (POINT{110, 205}));
    EXPECT_EQ(dc.Detach(), &raster);
    EXPECT_EQ(dc.m_hDC, nullptr);
}

TEST(GdiDcTest, TextIsClippedToItsRectangleAndToTheClipRegion) {
    RasterDevice raster(80, 20, kWhite);
    CDC dc;
    dc.Attach(&raster);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kBlue);
    const std::string text = "HHHHHHHHHH";  // 60 pixels of stems
    const RECT clip{0, 0, 30, 20};
    dc.ExtTextOut(0, 0, ETO_CLIPPED, &clip, text);
    const int clippedToRect = Count(raster, kBlue);
    EXPECT_GT(clippedToRect, 0);
    for (int y = 0; y < 20; ++y) {
        for (int x = 30; x < 80; ++x) {
            ASSERT_EQ(raster.GetPixel(x, y), kWhite);
        }
    }

    raster.FillRect(RECT{0, 0, 80, 20}, kWhite);
    CRgn region;
    region.CreateRectRgn(12, 0, 80, 20);
    EXPECT_EQ(dc.SelectClipRgn(&region), SIMPLEREGION);
    region.DeleteObject();  // the context keeps its own copy
    dc.ExtTextOut(0, 0, ETO_CLIPPED, &clip, text);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 80; ++x) {
            if (x < 12 || x >= 30) {
                ASSERT_EQ(raster.GetPixel(x, y), kWhite) << x;
            }
        }
    }
    EXPECT_LT(Count(raster, kBlue), clippedToRect);
    EXPECT_GT(Count(raster, kBlue), 0);
    dc.SelectClipRgn(nullptr);

    // In opaque mode the text cells are painted in the background colour.
    raster.FillRect(RECT{0, 0, 80, 20}, kWhite);
    dc.SetBkMode(OPAQUE);
    dc.SetBkColor(kRed);
    dc.ExtTextOut(0, 0, 0, nullptr, "a");
    EXPECT_EQ(Count(raster, kRed) + Count(raster, kBlue), 6 * 13);
    EXPECT_EQ(dc.GetTextExtent("abc"), (SIZE{18, 13}));
}

TEST(GdiDcTest, SelectionAnswersThePreviousObjectAndRefusesEmptyOnes) {
    RasterDevice raster(4, 4);
    CDC dc;
    dc.Attach(&raster);
    CFont empty;
    EXPECT_EQ(dc.SelectObject(&empty), nullptr);
    CFont big;
    LOGFONT lf{};
    lf.lfHeight = 26;
    ASSERT_TRUE(big.CreateFontIndirect(&lf));
    CFont* stock = dc.SelectObject(&big);
    EXPECT_EQ(stock, &StockFont());
    EXPECT_EQ(dc.GetCurrentObject(OBJ_FONT), &big);
    EXPECT_EQ(dc.GetTextExtent("x"), (SIZE{12, 26}));
    EXPECT_EQ(dc.SelectObject(stock), &big);
    EXPECT_EQ(dc.GetTextExtent("x"), (SIZE{6, 13}));

    CBrush brush(kRed);
    EXPECT_EQ(dc.SelectObject(&brush), &StockBrush());
    EXPECT_EQ(dc.GetCurrentObject(OBJ_BRUSH), &brush);
    CPen pen;
    pen.CreatePen(PS_SOLID, 1, kBlue);
    EXPECT_EQ(dc.SelectObject(static_cast<CGdiObject*>(&pen)), &StockPen());

    // A window surface takes no bitmap; a memory context does.
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(&dc, 3, 2));
    EXPECT_EQ(dc.SelectObject(&bitmap), nullptr);
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(&dc));
    EXPECT_EQ(memory.SelectObject(&bitmap), &StockBitmap());
    EXPECT_EQ(memory.m_hDC->SurfaceSize(), (SIZE{3, 2}));
    EXPECT_EQ(memory.SelectObject(&StockBitmap()), &bitmap);
    EXPECT_EQ(memory.m_hDC->SurfaceSize(), (SIZE{1, 1}));
}

TEST(GdiDcTest, BitBltCopiesTheOverlapOnly) {
    RasterDevice screen(10, 10, kWhite);
    CDC dc;
    dc.Attach(&screen);
    CDC memory;
    memory.CreateCompatibleDC(&dc);
    CBitmap bitmap;
    bitmap.CreateCompatibleBitmap(&dc, 4, 4);
    memory.SelectObject(&bitmap);
    memory.FillSolidRect(RECT{0, 0, 4, 4}, kRed);
    memory.FillSolidRect(RECT{0, 0, 1, 1}, kBlue);

    // Asked for more than the source has, and partly off the destination's edge.
    EXPECT_TRUE(dc.BitBlt(-1, 7, 6, 6, &memory, 0, 0, SRCCOPY));
    EXPECT_EQ(Count(screen, kRed) + Count(screen, kBlue), 3 * 3);
    EXPECT_EQ(screen.GetPixel(0, 7), kRed) << "the blue corner fell off the left edge";
    EXPECT_EQ(screen.GetPixel(2, 9), kRed);
    EXPECT_EQ(screen.GetPixel(3, 7), kWhite);
    EXPECT_FALSE(dc.BitBlt(0, 0, 2, 2, &memory, 0, 0, 0x00EE0086));
    memory.SelectObject(&StockBitmap());
}
