#pragma once

// The progress bar (control 1009): a custom-painted window whose every pixel the model's
// CTextProgressCtrl paints, through a CDC over wxWidgets' device context (WxWindowDevice) and the
// control's own CMemDC, so the bar never flickers. A paint event paints through wxPaintDC. When
// the model asks for a repaint (RedrawWindow) the bar is painted at once through wxClientDC and
// flushed to the display, because during a download the UI thread is busy serving the box and
// a repaint left to the event loop would only show when the download ends.
//
// Threading rules: UI thread only.

#include "hosts/wx/WidgetBinding.h"
#include "hosts/wx/WxHost.h"

class wxDC;

class ProgressPanel : public WidgetBinding, public WxPainter {
  public:
    ProgressPanel(CWnd& model, wxWindow* parent);
    ~ProgressPanel() override;

    void Sync(CWnd& model) override;
    void PaintNow() override;

  private:
    void Paint(wxDC& dc);
};
