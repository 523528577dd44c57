#include "hosts/wx/WidgetBinding.h"

WidgetBinding::WidgetBinding(CWnd& model, wxWindow* widget)
    : m_hwnd(model.m_hWnd), m_widget(widget) {
    model.AddObserver(this);
}

WidgetBinding::~WidgetBinding() {
    if (CWnd* model = Model()) {
        model->RemoveObserver(this);
    }
}

void WidgetBinding::Sync(CWnd& model) {
    OnPlacementChanged(model);
    OnEnabledChanged(model);
    OnVisibleChanged(model);
}

void WidgetBinding::OnEnabledChanged(CWnd& model) {
    m_widget->Enable(model.IsWindowEnabled() != 0);
}

void WidgetBinding::OnVisibleChanged(CWnd& model) {
    m_widget->Show(model.IsWindowVisible() != 0);
}

void WidgetBinding::OnPlacementChanged(CWnd& model) {
    const WindowPlacement p = model.GetPlacement();
    m_widget->SetSize(p.x, p.y, p.cx, p.cy);
}
