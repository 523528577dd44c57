#include "hosts/wx/ComboBinding.h"

#include <wx/arrstr.h>

#include "hosts/wx/PortDescription.h"
#include "hosts/wx/WxFonts.h"
#include "platform/window/OperatorInput.h"

ComboBinding::ComboBinding(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, new wxChoice(parent, wxID_ANY)) {
    Choice()->Bind(wxEVT_CHOICE, [this](wxCommandEvent& event) { Choose(event.GetSelection()); });
    // An adapter plugged in since shows once the pointer or the focus comes to the list.
    Choice()->Bind(wxEVT_ENTER_WINDOW, [this](wxMouseEvent& event) {
        RefreshLabels();
        event.Skip();
    });
    Choice()->Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& event) {
        RefreshLabels();
        event.Skip();
    });
}

void ComboBinding::Choose(int index) {
    Operate([index](CWnd& model) { ChooseComboEntry(model, index); });
    if (CWnd* model = Model()) {
        OnComboSelectionChanged(*model);
    }
}

void ComboBinding::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    OnComboItemsChanged(model);
}

void ComboBinding::OnPlacementChanged(CWnd& model) {
    // The template's height includes the open list; the closed box is as tall as it needs.
    const WindowPlacement p = model.GetPlacement();
    Choice()->SetSize(p.x, p.y, p.cx, Choice()->GetBestSize().GetHeight());
}

void ComboBinding::OnComboItemsChanged(CWnd& model) {
    std::vector<std::string> entries;
    const LRESULT count = model.SendMessage(CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = model.SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(i));
        std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, '\0');
        model.SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
        entries.push_back(text);
    }
    m_entries = entries;
    wxArrayString items;
    for (const std::string& label : PortEntryLabels(entries)) {
        items.Add(ToWx(label));
    }
    Choice()->Set(items);
    OnComboSelectionChanged(model);
    AskForRoom();
}

void ComboBinding::AskForRoom() {
    // The window widens the list as far as its entries need, when it has the room.
    Choice()->InvalidateBestSize();
    Choice()->GetParent()->PostSizeEvent();
}

void ComboBinding::RefreshLabels() {
    const std::vector<std::string> labels = PortEntryLabels(m_entries);
    if (labels.size() != Choice()->GetCount()) {
        return;
    }
    bool changed = false;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const wxString label = ToWx(labels[i]);
        if (Choice()->GetString(static_cast<unsigned>(i)) != label) {
            Choice()->SetString(static_cast<unsigned>(i), label);
            changed = true;
        }
    }
    if (changed) {
        AskForRoom();
    }
}

void ComboBinding::OnComboSelectionChanged(CWnd& model) {
    const int selection = static_cast<int>(model.SendMessage(CB_GETCURSEL));
    Choice()->SetSelection(selection >= 0 && selection < static_cast<int>(Choice()->GetCount())
                               ? selection
                               : wxNOT_FOUND);
    const std::string tip =
        selection >= 0 ? PortDescription(selection + 1) : std::string("No port chosen");
    Choice()->SetToolTip(ToWx(tip));
}
