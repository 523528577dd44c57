#include "hosts/wx/MessageWindow.h"

#include <algorithm>

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "hosts/wx/WxFonts.h"

namespace {

// Room in the frame beside the title: the window's own icon and its close box, with margins.
constexpr int kTitleAllowance = 96;

wxArtID ArtFor(unsigned iconKind) {
    // MB_ICONHAND 0x10, MB_ICONQUESTION 0x20, MB_ICONEXCLAMATION 0x30, MB_ICONASTERISK 0x40.
    switch (iconKind & 0xF0) {
        case 0x10:
            return wxART_ERROR;
        case 0x20:
            return wxART_QUESTION;
        case 0x30:
            return wxART_WARNING;
        default:
            return wxART_INFORMATION;
    }
}

}  // namespace

MessageWindow::MessageWindow(wxWindow* parent, const std::string& text, const std::string& caption,
                             unsigned iconKind)
    : wxDialog(parent, wxID_ANY, ToWx(caption), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_text(text) {
    auto* body = new wxBoxSizer(wxHORIZONTAL);
    const wxBitmap icon = wxArtProvider::GetBitmap(ArtFor(iconKind), wxART_MESSAGE_BOX);
    if (icon.IsOk()) {
        body->Add(new wxStaticBitmap(this, wxID_ANY, icon), 0, wxALL | wxALIGN_TOP, 12);
    }
    // The text as given: its first line is the message the operator knows, the next the reason.
    auto* message = new wxStaticText(this, wxID_ANY, ToWx(text));
    body->Add(message, 1, wxTOP | wxBOTTOM | wxRIGHT | wxALIGN_CENTRE_VERTICAL, 12);

    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    ok->SetFocus();
    auto* whole = new wxBoxSizer(wxVERTICAL);
    whole->Add(body, 1, wxEXPAND);
    whole->Add(ok, 0, wxALIGN_CENTRE_HORIZONTAL | wxBOTTOM | wxLEFT | wxRIGHT, 12);
    SetEscapeId(wxID_OK);

    wxFont titleFont = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    titleFont.SetWeight(wxFONTWEIGHT_BOLD);
    int titleWidth = 0;
    int titleHeight = 0;
    GetTextExtent(ToWx(caption), &titleWidth, &titleHeight, nullptr, nullptr, &titleFont);
    m_titleWidth = titleWidth + kTitleAllowance;
    SetSizerAndFit(whole);
    const wxSize fitted = GetClientSize();
    SetClientSize(std::max(fitted.GetWidth(), m_titleWidth), fitted.GetHeight());
    CentreOnParent();
}
