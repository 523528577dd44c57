#pragma once

// A memory backend over wxMemoryDC: it draws into whichever WxGdiBitmap is selected, or into a
// 1 x 1 bitmap of its own until one is. The bitmap is shared with the CBitmap that made it, so
// it outlives the selection as it does on Windows.
//
// Threading rules: UI thread only.

#include <memory>

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

#include "hosts/wx/WxDevice.h"

class WxGdiBitmap : public GdiBitmap {
  public:
    WxGdiBitmap(int width, int height);
    SIZE Size() const override { return SIZE{m_bitmap.GetWidth(), m_bitmap.GetHeight()}; }
    wxBitmap& Bitmap() { return m_bitmap; }

  private:
    wxBitmap m_bitmap;
};

class WxMemoryDevice : public WxDevice {
  public:
    WxMemoryDevice();
    ~WxMemoryDevice() override;

    wxDC& Dc() override { return m_dc; }
    SIZE SurfaceSize() const override;
    bool SelectBitmap(std::shared_ptr<GdiBitmap> bitmap) override;

  private:
    wxMemoryDC m_dc;
    std::shared_ptr<WxGdiBitmap> m_own;
    std::shared_ptr<WxGdiBitmap> m_selected;
};
