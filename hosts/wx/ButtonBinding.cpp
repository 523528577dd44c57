#include "hosts/wx/ButtonBinding.h"

#include <wx/button.h>
#include <wx/checkbox.h>

#include "hosts/wx/WxFonts.h"
#include "platform/window/OperatorInput.h"

namespace {

bool IsCheckBox(CWnd& model) {
    return model.GetKind() == ControlKind::CheckBox ||
           (model.GetStyle() & BS_TYPEMASK) == BS_AUTOCHECKBOX;
}

wxWindow* MakeButton(CWnd& model, wxWindow* parent) {
    const wxString label = ToWx(model.GetWindowText());
    if (IsCheckBox(model)) {
        return new wxCheckBox(parent, wxID_ANY, label);
    }
    return new wxButton(parent, wxID_ANY, label, wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
}

}  // namespace

ButtonBinding::ButtonBinding(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeButton(model, parent)), m_checkBox(IsCheckBox(model)) {
    if (m_checkBox) {
        Widget()->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { Click(); });
    } else {
        Widget()->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Click(); });
    }
}

void ButtonBinding::Click() {
    Operate([](CWnd& model) { ClickButton(model); });
    // The model decides the state; the widget may have toggled on its own.
    if (CWnd* model = Model()) {
        OnCheckChanged(*model);
    }
}

void ButtonBinding::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    OnTextChanged(model);
    OnCheckChanged(model);
}

void ButtonBinding::OnTextChanged(CWnd& model) {
    Widget()->SetLabel(ToWx(model.GetWindowText()));
}

void ButtonBinding::OnCheckChanged(CWnd& model) {
    if (m_checkBox) {
        static_cast<wxCheckBox*>(Widget())->SetValue(model.SendMessage(BM_GETCHECK) == BST_CHECKED);
    }
}
