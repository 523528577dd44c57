#pragma once

// The progress bar (control 1009): a custom-painted window whose every pixel the model's
// CTextProgressCtrl paints, through a CDC over wxWidgets' device context and the control's own
// CMemDC, so the bar never flickers. Two things start a paint:
// - the toolkit's paint event (the bar shown, uncovered, resized): the model is sent WM_PAINT and
//   its CPaintDC draws through the event's wxPaintDC, limited to the area the toolkit repaints;
// - the model itself, when its position, colours or text alignment change: its CPaintDC asks the
//   host for a surface, which is a wxClientDC flushed to the display when the paint ends
//   (WxClientDevice.h).
//
// Threading rules: UI thread only.

#include <memory>

#include "hosts/wx/WidgetBinding.h"
#include "hosts/wx/WxHost.h"

class wxPaintDC;

class ProgressPanel : public WidgetBinding, public WxPainter {
  public:
    ProgressPanel(CWnd& model, wxWindow* parent);
    ~ProgressPanel() override;

    void Sync(CWnd& model) override;
    std::unique_ptr<DeviceContext> BeginPaint() override;

  private:
    // The paint event's context while the model paints in answer to it.
    wxPaintDC* m_exposed = nullptr;
};
