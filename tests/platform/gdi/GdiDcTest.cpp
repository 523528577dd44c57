// The device context's object selection. Drawing, clipping and window origins are checked
// through the product's paints in tests/controls (TextProgressCtrlTest, MemDCTest).

#include <gtest/gtest.h>

#include "platform/gdi/DC.h"
#include "tests/support/raster/RasterDevice.h"

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

}  // namespace

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
