#pragma once

// The software raster: a device context backend over a buffer of 32-bit pixels. Each pixel holds
// the COLORREF last drawn there, so GetPixel answers exactly the colour a caller drew. Text is
// drawn in one fixed-width face of 6 x 13 pixel cells whatever the LOGFONT asks for (a height of
// two cells or more scales the cells by whole pixels). Its glyphs are patterns made from each
// byte's code, not letters: tests compare a paint with the same text drawn here, and a wrong,
// lost or extra byte changes the ink. A raster made with a size is a window's or screen's
// surface; one made by CreateCompatible is a memory context that draws into whichever raster
// bitmap is selected into it.
//
// Threading rules: UI thread only; a test may read pixels once painting has returned.

#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/DeviceContext.h"

// The pixels of a raster surface or of a bitmap made for a memory raster.
class RasterBitmap : public GdiBitmap {
  public:
    RasterBitmap(int width, int height, COLORREF fill);
    SIZE Size() const override { return SIZE{m_width, m_height}; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF& At(int x, int y) { return m_pixels[Index(x, y)]; }
    COLORREF At(int x, int y) const { return m_pixels[Index(x, y)]; }

  private:
    size_t Index(int x, int y) const {
        return static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x);
    }
    int m_width;
    int m_height;
    std::vector<COLORREF> m_pixels;
};

class RasterDevice : public DeviceContext {
  public:
    // A surface of `width` x `height` pixels, all `fill`.
    RasterDevice(int width, int height, COLORREF fill = RGB(255, 255, 255));

    // The pixel at (x, y) in device units, or CLR_INVALID outside the surface.
    COLORREF GetPixel(int x, int y) const;
    int Width() const { return m_surface->Width(); }
    int Height() const { return m_surface->Height(); }
    // A fresh device context (stock objects, no mapping) drawing onto this surface's pixels, as
    // a window's paint context draws onto the window.
    std::unique_ptr<RasterDevice> SharingSurface() const;

    SIZE SurfaceSize() const override { return m_surface->Size(); }
    void FillRect(const RECT& area, COLORREF colour) override;
    SIZE MeasureText(const LOGFONT& font, const std::string& text) const override;
    void DrawText(POINT origin, const LOGFONT& font, const std::string& text, COLORREF colour,
                  const RECT& clip) override;
    bool CopyFrom(const RECT& area, const DeviceContext& source, POINT sourceOrigin) override;
    std::unique_ptr<DeviceContext> CreateCompatible() const override;
    std::shared_ptr<GdiBitmap> CreateBitmap(int width, int height) const override;
    bool SelectBitmap(std::shared_ptr<GdiBitmap> bitmap) override;

  protected:
    // A memory raster drawing into its own 1 x 1 bitmap until another is selected.
    struct MemoryTag {};
    explicit RasterDevice(MemoryTag);

  private:
    explicit RasterDevice(std::shared_ptr<RasterBitmap> surface);
    void Plot(int x, int y, COLORREF colour, const RECT& clip);

    std::shared_ptr<RasterBitmap> m_surface;
    bool m_memory = false;
};
