#include "hosts/wx/ProgressPanel.h"

#include <wx/dcclient.h>

#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxWindowDevice.h"
#include "platform/gdi/DC.h"

namespace {

wxWindow* MakeWidget(wxWindow* parent) {
    auto* panel = new wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE);
    panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    return panel;
}

}  // namespace

ProgressPanel::ProgressPanel(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeWidget(parent)) {
    if (WxHost* host = WxHost::Current()) {
        host->RegisterPainter(Handle(), this);
    }
    Widget()->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxPaintDC dc(Widget());
        // What the control leaves unpainted (an empty range) shows the dialog's face.
        dc.SetBackground(wxBrush(Widget()->GetParent()->GetBackgroundColour()));
        dc.Clear();
        Paint(dc);
    });
}

ProgressPanel::~ProgressPanel() {
    if (WxHost* host = WxHost::Current()) {
        host->UnregisterPainter(Handle());
    }
}

void ProgressPanel::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    Widget()->Refresh();
}

void ProgressPanel::PaintNow() {
    if (!Widget()->IsShownOnScreen()) {
        return;
    }
    {
        wxClientDC dc(Widget());
        Paint(dc);
    }
    // Sends what was drawn to the display now instead of when the loop next turns.
    Widget()->Update();
}

void ProgressPanel::Paint(wxDC& dc) {
    CWnd* model = Model();
    WxHost* host = WxHost::Current();
    if (model == nullptr || host == nullptr) {
        return;
    }
    const wxSize size = Widget()->GetClientSize();
    WxWindowDevice device(dc, SIZE{size.GetWidth(), size.GetHeight()});
    CDC surface;
    surface.Attach(&device);
    host->PushPaintSurface(Handle(), &surface);
    model->SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(&surface));
    model->SendMessage(WM_PAINT);
    host->PopPaintSurface(Handle());
    surface.Detach();
}
