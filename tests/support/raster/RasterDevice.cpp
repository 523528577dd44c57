#include "tests/support/raster/RasterDevice.h"

#include <algorithm>
#include <vector>

#include "platform/gdi/GdiObjects.h"
#include "tests/support/raster/BuiltinFont.h"

RasterBitmap::RasterBitmap(int width, int height, COLORREF fill)
    : m_width(std::max(0, width)),
      m_height(std::max(0, height)),
      m_pixels(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), fill) {}

RasterDevice::RasterDevice(int width, int height, COLORREF fill)
    : m_surface(std::make_shared<RasterBitmap>(width, height, fill)) {}

RasterDevice::RasterDevice(std::shared_ptr<RasterBitmap> surface) : m_surface(std::move(surface)) {}

std::unique_ptr<RasterDevice> RasterDevice::SharingSurface() const {
    std::unique_ptr<RasterDevice> device(new RasterDevice(m_surface));
    device->m_printing = m_printing;
    return device;
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

void RasterDevice::Resize(int width, int height, COLORREF fill) {
    m_surface = std::make_shared<RasterBitmap>(width, height, fill);
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
    return BuiltinFont::Measure(font, text);
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
    const int scale = BuiltinFont::Scale(font);
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int cellX = static_cast<int>(i) * BuiltinFont::kCellWidth;
        for (int row = 0; row < BuiltinFont::kCellHeight; ++row) {
            for (int column = 0; column < BuiltinFont::kCellWidth; ++column) {
                if (!BuiltinFont::Ink(c, column, row)) {
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
    // Rows are staged so that a copy within one surface reads every pixel before it is written.
    std::vector<COLORREF> row;
    std::vector<std::vector<COLORREF>> rows;
    for (LONG y = target.top; y < target.bottom; ++y) {
        row.clear();
        for (LONG x = target.left; x < target.right; ++x) {
            row.push_back(raster->GetPixel(sourceOrigin.x + (x - area.left),
                                           sourceOrigin.y + (y - area.top)));
        }
        rows.push_back(row);
    }
    for (LONG y = target.top; y < target.bottom; ++y) {
        const auto& staged = rows[static_cast<size_t>(y - target.top)];
        for (LONG x = target.left; x < target.right; ++x) {
            const COLORREF pixel = staged[static_cast<size_t>(x - target.left)];
            // Pixels outside the source stay as they were.
            if (pixel != CLR_INVALID) {
                m_surface->At(x, y) = pixel;
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
