#include "tests/support/raster/RasterDevice.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/gdi/GdiObjects.h"

namespace {

constexpr int kCellWidth = 6;
constexpr int kCellHeight = 13;

// Whole-pixel magnification for a requested font. A negative height asks for the character
// height, a positive one for the cell; this face has only cells, so both read as the cell.
int Scale(const LOGFONT& font) {
    const int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
    return std::max(1, (height + kCellHeight / 2) / kCellHeight);
}

// Whether pixel (column, row) of the unscaled cell of byte `c` is ink: for printable ASCII a
// 5 x 7 pattern from the code's bits below two free rows, always with ink in its first column;
// the blank has none; every other byte is a box, so that it shows instead of going missing.
bool Ink(unsigned char c, int column, int row) {
    if (column >= 5 || row < 2 || row >= 9 || c == ' ') {
        return false;
    }
    if (c < 0x21 || c > 0x7E) {
        return row == 2 || row == 8 || column == 0 || column == 4;
    }
    const std::uint32_t bits = (c * 2654435761u) >> (3 * (row - 2));
    return column == 0 || ((bits >> column) & 1) != 0;
}

}  // namespace

RasterBitmap::RasterBitmap(int width, int height, COLORREF fill)
    : m_width(std::max(0, width)),
      m_height(std::max(0, height)),
      m_pixels(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), fill) {}

RasterDevice::RasterDevice(int width, int height, COLORREF fill)
    : m_surface(std::make_shared<RasterBitmap>(width, height, fill)) {}

RasterDevice::RasterDevice(std::shared_ptr<RasterBitmap> surface) : m_surface(std::move(surface)) {}

std::unique_ptr<RasterDevice> RasterDevice::SharingSurface() const {
    return std::unique_ptr<RasterDevice>(new RasterDevice(m_surface));
}

RasterDevice::RasterDevice(MemoryTag)
    : m_surface(std::make_shared<RasterBitmap>(1, 1, RGB(0, 0, 0))), m_memory(true) {
    State().bitmap = &StockBitmap();
}

COLORREF RasterDevice::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) {
        return CLR_INVALID;
    }
    return m_surface->At(x, y);
}

void RasterDevice::FillRect(const RECT& area, COLORREF colour) {
    const RECT r = IntersectRects(area, RECT{0, 0, Width(), Height()});
    for (LONG y = r.top; y < r.bottom; ++y) {
        for (LONG x = r.left; x < r.right; ++x) {
            m_surface->At(x, y) = colour;
        }
    }
}

SIZE RasterDevice::MeasureText(const LOGFONT& font, const std::string& text) const {
    const int scale = Scale(font);
    return SIZE{static_cast<LONG>(text.size()) * kCellWidth * scale, kCellHeight * scale};
}

void RasterDevice::Plot(int x, int y, COLORREF colour, const RECT& clip) {
    if (x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom) {
        m_surface->At(x, y) = colour;
    }
}

// Glyph pixel (gx, gy) counts along the text and down its cells. Turned text runs upward from
// the origin with the cells' tops to the left, so that pixel lands gy to the right of the origin
// and gx + 1 above it: the text fills [x, x + cy) by [y - cx, y).
void RasterDevice::DrawText(POINT origin, const LOGFONT& font, const std::string& text,
                            COLORREF colour, const RECT& clip) {
    const RECT area = IntersectRects(clip, RECT{0, 0, Width(), Height()});
    if (IsRectEmpty(area)) {
        return;
    }
    const bool upward = font.lfEscapement == 900;
    const int scale = Scale(font);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int cellX = static_cast<int>(i) * kCellWidth;
        for (int row = 0; row < kCellHeight; ++row) {
            for (int column = 0; column < kCellWidth; ++column) {
                if (!Ink(c, column, row)) {
                    continue;
                }
                for (int sy = 0; sy < scale; ++sy) {
                    for (int sx = 0; sx < scale; ++sx) {
                        const int gx = (cellX + column) * scale + sx;
                        const int gy = row * scale + sy;
                        if (upward) {
                            Plot(origin.x + gy, origin.y - 1 - gx, colour, area);
                        } else {
                            Plot(origin.x + gx, origin.y + gy, colour, area);
                        }
                    }
                }
            }
        }
    }
}

bool RasterDevice::CopyFrom(const RECT& area, const DeviceContext& source, POINT sourceOrigin) {
    const auto* raster = dynamic_cast<const RasterDevice*>(&source);
    if (raster == nullptr) {
        return false;
    }
    const RECT target = IntersectRects(area, RECT{0, 0, Width(), Height()});
    // Pixels are staged so that a copy within one surface reads each before any is written.
    std::vector<COLORREF> staged;
    for (LONG y = target.top; y < target.bottom; ++y) {
        for (LONG x = target.left; x < target.right; ++x) {
            staged.push_back(raster->GetPixel(sourceOrigin.x + (x - area.left),
                                              sourceOrigin.y + (y - area.top)));
        }
    }
    auto pixel = staged.begin();
    for (LONG y = target.top; y < target.bottom; ++y) {
        for (LONG x = target.left; x < target.right; ++x, ++pixel) {
            if (*pixel != CLR_INVALID) {  // pixels outside the source stay as they were
                m_surface->At(x, y) = *pixel;
            }
        }
    }
    return true;
}

std::unique_ptr<DeviceContext> RasterDevice::CreateCompatible() const {
    return std::unique_ptr<DeviceContext>(new RasterDevice(MemoryTag{}));
}

std::shared_ptr<GdiBitmap> RasterDevice::CreateBitmap(int width, int height) const {
    return std::make_shared<RasterBitmap>(width, height, RGB(0, 0, 0));
}

bool RasterDevice::SelectBitmap(std::shared_ptr<GdiBitmap> bitmap) {
    if (!m_memory) {
        return false;
    }
    if (bitmap == nullptr) {
        m_surface = std::make_shared<RasterBitmap>(1, 1, RGB(0, 0, 0));
        return true;
    }
    auto raster = std::dynamic_pointer_cast<RasterBitmap>(bitmap);
    if (raster == nullptr) {
        return false;
    }
    m_surface = std::move(raster);
    return true;
}
