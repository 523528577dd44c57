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
        mem.SelectObject(&font);
        mem.SelectObject(&brush);
        mem.SetTextColor(kRed);
        mem.SetBkMode(TRANSPARENT);
    }
    ASSERT_TRUE(screen.deleted.has_value());
    const DeviceState& s = *screen.deleted;
    EXPECT_EQ(s.font, &StockFont());
    EXPECT_EQ(s.brush, &StockBrush());
    EXPECT_EQ(s.bitmap, &StockBitmap());
    EXPECT_EQ(s.textColor, RGB(0, 0, 0));
    EXPECT_EQ(s.bkMode, OPAQUE);
    EXPECT_EQ(s.windowOrg, (POINT{0, 0}));
}
