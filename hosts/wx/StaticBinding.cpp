#include "hosts/wx/StaticBinding.h"

#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "hosts/wx/IconBitmaps.h"
#include "hosts/wx/WxFonts.h"

namespace {

HICON ShownIcon(CWnd& model) {
    return static_cast<HICON>(model.SendMessage(STM_GETICON));
}

wxWindow* MakeStaticText(CWnd& model, wxWindow* parent) {
    if (model.GetKind() == ControlKind::StaticIcon) {
        return new wxStaticBitmap(parent, wxID_ANY, BitmapFromIcon(ShownIcon(model)));
    }
    return new wxStaticText(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                            wxST_NO_AUTORESIZE);
}

}  // namespace

StaticBinding::StaticBinding(CWnd& model, wxWindow* parent)
    : WidgetBinding(model, MakeStaticText(model, parent)),
      m_icon(model.GetKind() == ControlKind::StaticIcon) {}

void StaticBinding::Sync(CWnd& model) {
    WidgetBinding::Sync(model);
    OnTextChanged(model);
    OnIconChanged(model);
}

void StaticBinding::OnTextChanged(CWnd& model) {
    if (!m_icon) {
        // SS_NOPREFIX or not, the texts here carry no mnemonic; show every character as it is.
        static_cast<wxStaticText*>(Widget())->SetLabelText(ToWx(model.GetWindowText()));
    }
}

void StaticBinding::OnIconChanged(CWnd& model) {
    if (m_icon) {
        static_cast<wxStaticBitmap*>(Widget())->SetBitmap(BitmapFromIcon(ShownIcon(model)));
        OnPlacementChanged(model);
    }
}

void StaticBinding::OnPlacementChanged(CWnd& model) {
    const WindowPlacement p = model.GetPlacement();
    if (m_icon) {
        const wxBitmap bitmap = static_cast<wxStaticBitmap*>(Widget())->GetBitmap();
        const int cx = bitmap.IsOk() ? bitmap.GetWidth() : p.cx;
        const int cy = bitmap.IsOk() ? bitmap.GetHeight() : p.cy;
        Widget()->SetSize(p.x, p.y, cx, cy);
    } else {
        Widget()->SetSize(p.x, p.y, p.cx, p.cy);
    }
}
