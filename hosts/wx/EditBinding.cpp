#include "hosts/wx/EditBinding.h"

#include <wx/textctrl.h>

#include "hosts/wx/WxFonts.h"

EditBinding::EditBinding(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, new wxTextCtrl(parent, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                          wxDefaultSize, wxTE_READONLY)) {}

void EditBinding::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    OnTextChanged(model);
}

void EditBinding::OnTextChanged(CWnd& model) {
    auto* text = static_cast<wxTextCtrl*>(Widget());
    text->ChangeValue(ToWx(model.GetWindowText()));
    // The end of a long path is the part that tells files apart.
    text->SetInsertionPointEnd();
}

void EditBinding::OnTextInserted(CWnd& model, std::size_t, std::size_t, std::string_view) {
    OnTextChanged(model);
}
