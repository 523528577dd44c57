#pragma once

// One slot as a tile, drawn large enough to read from across the bench: its label and tally on
// top, its last verdict (or, without one, its state) as a symbol and a word in the tile's tone,
// the progress with the time left, the box's id, why it failed and, beneath, what holds the
// slot up now, wrapped to the tile and never cut (the text shrinks first).
// Under a job that requires scans, its scan is a line beneath the word, and the tile the next
// scan goes to has a thick ring in a colour no tone uses, beside its "scan next".
// Clicking the tile asks for the slot's log.

#include <wx/panel.h>

#include <functional>

#include "station/SlotLook.h"

class TilePanel : public wxPanel {
  public:
    // `scans`: the job requires each box's scan (room is kept for the ring on every tile, so
    // that nothing moves when it goes from one to the next).
    TilePanel(wxWindow* parent, const std::string& label, bool scans = false);

    void Show(const SlotStatus& status);
    void OnClick(std::function<void()> click) { m_click = std::move(click); }
    // A right click, or the keyboard's menu key (Shift+F10) on the tile.
    void OnMenu(std::function<void()> menu) { m_menu = std::move(menu); }

    const std::string& Label() const { return m_label; }
    const SlotLook& Look() const { return m_look; }
    // Where the state word was drawn last, in the tile's coordinates.
    const wxRect& WordRect() const { return m_wordRect; }

  private:
    void Paint(wxPaintEvent&);

    std::string m_label;
    bool m_scans = false;
    SlotLook m_look;
    wxRect m_wordRect;
    std::function<void()> m_click;
    std::function<void()> m_menu;
};

// The tones' colours: a fill and the text on it.
wxColour ToneFill(SlotTone tone);
wxColour ToneInk(SlotTone tone);
// The ring around the tile the next scan goes to.
wxColour ScanRingColour();
