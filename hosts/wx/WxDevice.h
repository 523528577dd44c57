#pragma once

// The drawing backend over a wxDC: what CDC asks of a device context, drawn by wxWidgets.
// Subclasses say which wxDC and how large its surface is: a window's paint or client context
// (WxWindowDevice) or a memory context drawing into a bitmap (WxMemoryDevice, which CMemDC
// makes through CreateCompatible). Everything arrives in device units, already clipped by CDC.
//
// Threading rules: UI thread only, like the wxDC beneath.

#include <memory>
#include <string>

#include <wx/dc.h>

#include "platform/gdi/DeviceContext.h"

class WxDevice : public DeviceContext {
  public:
    virtual wxDC& Dc() = 0;
    const wxDC& Dc() const { return const_cast<WxDevice*>(this)->Dc(); }

    void FillRect(const RECT& area, COLORREF colour) override;
    SIZE MeasureText(const LOGFONT& font, const std::string& text) const override;
    void DrawText(POINT origin, const LOGFONT& font, const std::string& text, COLORREF colour,
                  const RECT& clip) override;
    bool CopyFrom(const RECT& area, const DeviceContext& source, POINT sourceOrigin) override;
    std::unique_ptr<DeviceContext> CreateCompatible() const override;
    std::shared_ptr<GdiBitmap> CreateBitmap(int width, int height) const override;
};
