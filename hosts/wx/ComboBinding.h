#pragma once

// The port list: a drop-down list without typing (wxChoice). Its entries and selection follow
// the model; choosing an entry reaches the model as ChooseComboEntry. The tooltip names the
// device behind the chosen number, so the operator sees that COM1 is the first USB adapter, and
// the list's entries say which numbers have a device behind them (PortEntryLabels); the model's
// entries and the selection are the numbers alone. The open list is as wide as its entries; the
// closed box as wide as the window can give it (Anchors.h).
//
// Threading rules: UI thread only.

#include <string>
#include <vector>

#include <wx/choice.h>

#include "hosts/wx/WidgetBinding.h"

class ComboBinding : public WidgetBinding {
  public:
    ComboBinding(CWnd& model, wxWindow* parent);

    void Sync(CWnd& model) override;
    void OnPlacementChanged(CWnd& model) override;
    void OnComboItemsChanged(CWnd& model) override;
    void OnComboSelectionChanged(CWnd& model) override;
    // What the operator's choice does; also what the control channel's "choose" sends.
    void Choose(int index);

  private:
    // The entries' labels brought up to date with the devices present now.
    void RefreshLabels();
    // The entries' widths changed: the window may give the list more room.
    void AskForRoom();
    wxChoice* Choice() const { return static_cast<wxChoice*>(Widget()); }

    std::vector<std::string> m_entries;  // the model's entry texts
};
