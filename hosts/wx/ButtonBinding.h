#pragma once

// A push button or check box. A click reaches the model as ClickButton, which toggles a check
// box's state itself; the widget then shows the model's state, so a click the model refuses
// (a disabled control) leaves the box as it was.
//
// Threading rules: UI thread only.

#include <wx/anybutton.h>

#include "hosts/wx/WidgetBinding.h"

class ButtonBinding : public WidgetBinding {
  public:
    ButtonBinding(CWnd& model, wxWindow* parent);

    void Sync(CWnd& model) override;
    void OnTextChanged(CWnd& model) override;
    void OnCheckChanged(CWnd& model) override;
    // What the operator's click does; also what the control channel's "click" sends.
    void Click();

  private:
    bool m_checkBox;
};
