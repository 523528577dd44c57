#pragma once

// A static text or a static icon (the lamps, the About box's icon). An icon is shown at its own
// size at the top-left of its place, as a Windows static icon is.
//
// Threading rules: UI thread only.

#include "hosts/wx/WidgetBinding.h"

class StaticBinding : public WidgetBinding {
  public:
    StaticBinding(CWnd& model, wxWindow* parent);

    void Sync(CWnd& model) override;
    void OnTextChanged(CWnd& model) override;
    void OnIconChanged(CWnd& model) override;
    void OnPlacementChanged(CWnd& model) override;

  private:
    bool m_icon;
};
