#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "controls/MemDC.h"
#include "tests/support/raster/RasterDevice.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kRed = RGB(255, 0, 0);

// A memory raster that writes down its state at the moment it is deleted.
class RecordingMemory : public RasterDevice {
  public:
    explicit RecordingMemory(std::optional<DeviceState>* last)
        : RasterDevice(MemoryTag{}), m_last(last) {}
    ~RecordingMemory() override { *m_last = State(); }

  private:
    std::optional<DeviceState>* m_last;
};

class RecordingScreen : public RasterDevice {
  public:
    using RasterDevice::RasterDevice;
    std::unique_ptr<DeviceContext> CreateCompatible() const override {
        return std::make_unique<RecordingMemory>(&deleted);
    }
    mutable std::optional<DeviceState> deleted;
};

}  // namespace

TEST(MemDCTest, PartialClipBoxOverwritesOnlyThatPartAndNothingOutsideIt) {
    RasterDevice screen(40, 20, kGrey);
    screen.SetUpdateArea(RECT{10, 4, 30, 12});
    CDC target;
    target.Attach(&screen);
    target.SetBkColor(RGB(0, 0, 255));  // the buffer is cleared in its own colour, not this
    {
        CMemDC mem(&target);
        RECT box;
        mem.GetClipBox(&box);
        EXPECT_EQ(box, (RECT{10, 4, 30, 12}));
        // Drawn in the target's coordinates, partly outside the clip box.
        mem.FillSolidRect(RECT{0, 0, 15, 20}, kRed);
        EXPECT_EQ(screen.GetPixel(12, 6), kGrey) << "nothing reaches the target before close";
    }
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 10 && x < 30 && y >= 4 && y < 12;
            const COLORREF expected = !inside ? kGrey : x < 15 ? kRed : kWhite;
            ASSERT_EQ(screen.GetPixel(x, y), expected) << x << "," << y;
        }
    }
}

TEST(MemDCTest, SavedObjectsAreBackBeforeTheMemoryContextIsDeleted) {
    RecordingScreen screen(30, 20, kGrey);
    screen.SetUpdateArea(RECT{5, 3, 30, 20});
    CDC target;
    target.Attach(&screen);
    {
        CMemDC mem(&target);
        EXPECT_EQ(mem.GetWindowOrg(), (POINT{5, 3})) << "the buffer starts at the clip box";
        CFont font;
        LOGFONT lf{};
        lf.lfHeight = 26;
        font.CreateFontIndirect(&lf);
        CBrush brush(kRed);
        CPen pen;
        pen.CreatePen(PS_SOLID, 2, kRed);
        mem.SelectObject(&font);
        mem.SelectObject(&brush);
        mem.SelectObject(&pen);
        mem.SetTextColor(kRed);
        mem.SetBkColor(kRed);
        mem.SetBkMode(TRANSPARENT);
        mem.ExtTextOut(5, 3, 0, nullptr, "x");
    }
    ASSERT_TRUE(screen.deleted.has_value());
    const DeviceState& s = *screen.deleted;
    EXPECT_EQ(s.font, &StockFont());
    EXPECT_EQ(s.brush, &StockBrush());
    EXPECT_EQ(s.pen, &StockPen());
    EXPECT_EQ(s.bitmap, &StockBitmap());
    EXPECT_EQ(s.textColor, RGB(0, 0, 0));
    EXPECT_EQ(s.bkColor, kWhite);
    EXPECT_EQ(s.bkMode, OPAQUE);
    EXPECT_EQ(s.windowOrg, (POINT{0, 0}));
    // The text went to the target through the buffer.
    EXPECT_EQ(screen.GetPixel(5, 3), kWhite);
    EXPECT_EQ(screen.GetPixel(4, 3), kGrey);
    bool red = false;
    for (int y = 0; y < 20 && !red; ++y) {
        for (int x = 0; x < 30 && !red; ++x) {
            red = screen.GetPixel(x, y) == kRed;
        }
    }
    EXPECT_TRUE(red);
}

TEST(MemDCTest, PrintingTargetIsDrawnStraightThroughAndKeptAlive) {
    RecordingScreen printer(20, 10, kGrey);
    printer.SetPrinting(true);
    CDC target;
    target.Attach(&printer);
    ASSERT_TRUE(target.IsPrinting());
    target.SetBkColor(RGB(0, 255, 0));
    {
        CMemDC mem(&target);
        EXPECT_TRUE(mem.IsPrinting());
        EXPECT_EQ(mem.m_hDC, &printer);
        EXPECT_EQ(printer.GetPixel(19, 9), RGB(0, 255, 0)) << "cleared with the target's colour";
        mem.FillSolidRect(RECT{0, 0, 5, 5}, kRed);
        EXPECT_EQ(printer.GetPixel(4, 4), kRed) << "no buffer: the fill is there at once";
    }
    EXPECT_FALSE(printer.deleted.has_value()) << "no memory context was made";
    EXPECT_EQ(target.m_hDC, &printer);
    target.FillSolidRect(RECT{5, 5, 6, 6}, kRed);
    EXPECT_EQ(printer.GetPixel(5, 5), kRed) << "the target's context survived";
}
