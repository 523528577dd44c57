#pragma once

// A single-line edit: here the image path, shown read-only as the template says. The model's
// text is the truth; the operator cannot type into it.
//
// Threading rules: UI thread only.

#include "hosts/wx/WidgetBinding.h"

class EditBinding : public WidgetBinding {
  public:
    EditBinding(CWnd& model, wxWindow* parent);

    void Sync(CWnd& model) override;
    void OnTextChanged(CWnd& model) override;
    void OnTextInserted(CWnd& model, std::size_t, std::size_t, std::string_view) override;
};
