#pragma once

// The backend of a paint the model asks for itself (a progress bar moving during a download): a
// wxClientDC of its own over the widget. When it goes, what was drawn is sent to the display at
// once, because the UI thread is then busy serving the box and a repaint left to the event loop
// would only show when the download ends.
//
// Threading rules: UI thread only.

#include <wx/dcclient.h>

#include "hosts/wx/WxDevice.h"

class WxClientDevice : public WxDevice {
  public:
    explicit WxClientDevice(wxWindow* widget);
    ~WxClientDevice() override;

    wxDC& Dc() override { return *m_dc; }
    SIZE SurfaceSize() const override { return m_size; }
    // A window's surface takes no bitmap.
    bool SelectBitmap(std::shared_ptr<GdiBitmap>) override { return false; }

  private:
    wxWindow* m_widget;
    std::unique_ptr<wxClientDC> m_dc;
    SIZE m_size;
};
