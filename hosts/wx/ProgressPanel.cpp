#include "hosts/wx/ProgressPanel.h"

#include <wx/dcclient.h>

#include "hosts/wx/WxClientDevice.h"
#include "hosts/wx/WxWindowDevice.h"

namespace {

wxWindow* MakeProgressBar(wxWindow* parent) {
    auto* panel = new wxWindow(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                               wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE);
    panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    return panel;
}

}  // namespace

ProgressPanel::ProgressPanel(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeProgressBar(parent)) {
    if (WxHost* host = WxHost::Current()) {
        host->RegisterPainter(Handle(), this);
    }
    Widget()->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxPaintDC dc(Widget());
        // What the control leaves unpainted (an empty range) shows the dialog's face.
        dc.SetBackground(wxBrush(Widget()->GetParent()->GetBackgroundColour()));
        dc.Clear();
        if (CWnd* model = Model()) {
            m_exposed = &dc;
            model->SendMessage(WM_PAINT);
            m_exposed = nullptr;
        }
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

std::unique_ptr<DeviceContext> ProgressPanel::BeginPaint() {
    if (m_exposed != nullptr) {
        const wxSize size = Widget()->GetClientSize();
        auto device =
            std::make_unique<WxWindowDevice>(*m_exposed, SIZE{size.GetWidth(), size.GetHeight()});
        const wxRect area = Widget()->GetUpdateRegion().GetBox();
        device->SetUpdateArea(
            RECT{area.GetLeft(), area.GetTop(), area.GetRight() + 1, area.GetBottom() + 1});
        return device;
    }
    if (!Widget()->IsShownOnScreen()) {
        return nullptr;
    }
    return std::make_unique<WxClientDevice>(Widget());
}
