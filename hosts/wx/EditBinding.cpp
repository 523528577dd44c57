#include "hosts/wx/EditBinding.h"

#include <wx/settings.h>
#include <wx/textctrl.h>

#include "hosts/wx/WxFonts.h"

EditBinding::EditBinding(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, new wxTextCtrl(parent, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                          wxDefaultSize, wxTE_READONLY)) {
    // Read-only, and looking it: the dialog's face instead of a field to type in.
    if ((model.GetStyle() & ES_READONLY) != 0) {
        Widget()->SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
    }
}

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
