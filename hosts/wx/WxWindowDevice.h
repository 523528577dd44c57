#pragma once

// The backend of one paint of a window: a borrowed wxPaintDC and the window's
// client size. Made fresh for every paint, as BeginPaint gives a fresh context on Windows.
//
// Threading rules: UI thread only; it lives no longer than the wxDC it borrows.

#include "hosts/wx/WxDevice.h"

class WxWindowDevice : public WxDevice {
  public:
    WxWindowDevice(wxDC& dc, SIZE size) : m_dc(dc), m_size(size) {}

    wxDC& Dc() override { return m_dc; }
    SIZE SurfaceSize() const override { return m_size; }
    // A window's surface takes no bitmap.
    bool SelectBitmap(std::shared_ptr<GdiBitmap>) override { return false; }

  private:
    wxDC& m_dc;
    SIZE m_size;
};
