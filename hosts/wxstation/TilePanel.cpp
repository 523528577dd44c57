#include "hosts/wxstation/TilePanel.h"

#include <wx/dcbuffer.h>

#include <algorithm>
#include <cmath>

#include "hosts/wxstation/WrapText.h"

namespace {

wxFont PixelFont(int pixels, bool bold) {
    wxFontInfo info(wxSize(0, std::max(pixels, 6)));
    info.Family(wxFONTFAMILY_SWISS);
    if (bold) {
        info.Bold();
    }
    return wxFont(info);
}

// The largest font, from `pixels` down, in which `text` fits `width`.
wxFont Fitting(wxDC& dc, const wxString& text, int pixels, int width, bool bold) {
    for (;; pixels = pixels * 9 / 10) {
        const wxFont font = PixelFont(pixels, bold);
        dc.SetFont(font);
        if (pixels <= 8 || dc.GetTextExtent(text).GetWidth() <= width) {
            return font;
        }
    }
}

}  // namespace

wxColour ToneFill(SlotTone tone) {
    switch (tone) {
        case SlotTone::Pass:
            return wxColour(0x1B, 0x7F, 0x37);
        case SlotTone::Fail:
            return wxColour(0xB7, 0x1C, 0x1C);
        case SlotTone::Busy:
            return wxColour(0x15, 0x55, 0xA8);
        case SlotTone::Warn:
            return wxColour(0xF2, 0xA9, 0x00);
        case SlotTone::Idle:
            break;
    }
    return wxColour(0xE4, 0xE7, 0xEB);
}

wxColour ToneInk(SlotTone tone) {
    return tone == SlotTone::Warn || tone == SlotTone::Idle ? wxColour(0x11, 0x11, 0x11)
                                                            : wxColour(0xFF, 0xFF, 0xFF);
}

wxColour ScanRingColour() {
    return wxColour(0x6A, 0x1B, 0x9A);  // violet: no verdict's, no state's
}

TilePanel::TilePanel(wxWindow* parent, const std::string& label, bool scans)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxFULL_REPAINT_ON_RESIZE),
      m_label(label),
      m_scans(scans) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    SlotStatus idle;
    idle.slot = label;
    m_look = LookOf(idle);
    Bind(wxEVT_PAINT, &TilePanel::Paint, this);
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) {
        if (m_click) {
            m_click();
        }
    });
    Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) {
        if (m_menu) {
            m_menu();
        }
    });
    SetCursor(wxCursor(wxCURSOR_HAND));
}

void TilePanel::Show(const SlotStatus& status) {
    SlotLook look = LookOf(status);
    if (look.word == m_look.word && look.percent == m_look.percent &&
        look.progress == m_look.progress && look.detail == m_look.detail &&
        look.note == m_look.note && look.counts == m_look.counts && look.boxId == m_look.boxId &&
        look.scan == m_look.scan && look.scanNext == m_look.scanNext) {
        return;
    }
    m_look = std::move(look);
    Refresh(false);
}

void TilePanel::Paint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    const wxSize size = GetClientSize();
    const int w = size.GetWidth();
    const int h = size.GetHeight();
    const int corner = std::max(4, h / 24);
    const int ring = m_scans ? std::max(5, h / 26) : 0;
    const int pad = corner + ring;
    dc.SetBackground(wxBrush(GetParent()->GetBackgroundColour()));
    dc.Clear();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(ToneFill(m_look.tone)));
    dc.DrawRoundedRectangle(0, 0, w, h, corner);
    if (m_look.scanNext) {
        // A white edge inside the ring keeps it apart from every tone's fill.
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        // Each edge follows the tile's corners, so that no fill shows outside it.
        dc.SetPen(wxPen(ScanRingColour(), ring));
        dc.DrawRoundedRectangle(ring / 2, ring / 2, w - ring, h - ring,
                                std::max(1, corner - ring / 2));
        dc.SetPen(wxPen(*wxWHITE, 2));
        dc.DrawRoundedRectangle(ring, ring, w - 2 * ring, h - 2 * ring, std::max(1, corner - ring));
        dc.SetPen(*wxTRANSPARENT_PEN);
    }
    const wxColour ink = ToneInk(m_look.tone);
    dc.SetTextForeground(ink);
    const int inner = w - 2 * pad;

    // The label and the tally on top.
    int y = pad;
    const wxString counts = wxString::FromUTF8(m_look.counts);
    dc.SetFont(Fitting(dc, counts, h / 9, inner / 2, false));
    const wxSize countsSize = dc.GetTextExtent(counts);
    dc.DrawText(counts, w - pad - countsSize.GetWidth(), y);
    const wxString label = wxString::FromUTF8(m_label);
    dc.SetFont(Fitting(dc, label, h / 7, inner - countsSize.GetWidth() - pad, true));
    const wxSize labelSize = dc.GetTextExtent(label);
    dc.DrawText(label, pad, y);
    y += std::max(labelSize.GetHeight(), countsSize.GetHeight()) + corner / 2;

    // The state: symbol and word, as large as the tile allows.
    const wxString word = wxString::FromUTF8(m_look.symbol + " " + m_look.word);
    dc.SetFont(Fitting(dc, word, h * 36 / 100, inner, true));
    const wxSize wordSize = dc.GetTextExtent(word);
    m_wordRect = wxRect(pad, y, wordSize.GetWidth(), wordSize.GetHeight());
    dc.DrawText(word, pad, y);
    y += wordSize.GetHeight();

    const int small = std::max(10, h / 9);

    // The progress with the time left, or the box's id.
    dc.SetFont(PixelFont(small, false));
    if (m_look.bar) {
        const int barHeight = std::max(6, h / 14);
        dc.SetBrush(wxBrush(ink.ChangeLightness(m_look.tone == SlotTone::Busy ? 60 : 140)));
        dc.DrawRectangle(pad, y, inner, barHeight);
        dc.SetBrush(wxBrush(ink));
        dc.DrawRectangle(pad, y, inner * m_look.percent / 100, barHeight);
        y += barHeight + corner / 2;
    }
    std::string line = m_look.progress;
    if (!m_look.boxId.empty()) {
        line += (line.empty() ? "" : "   ") + m_look.boxId;
    }
    if (!line.empty()) {
        const wxString text = wxString::FromUTF8(line);
        dc.SetFont(Fitting(dc, text, small, inner, false));
        dc.DrawText(text, pad, y);
        y += dc.GetTextExtent(text).GetHeight();
    }

    // Its scan beneath the box in hand (or the last box, whose verdict is kept): "▸ scan next"
    // in bold, as the ring says it too.
    if (!m_look.scan.empty()) {
        const wxString scan = wxString::FromUTF8(m_look.scan);
        dc.SetFont(Fitting(dc, scan, small, inner, m_look.scanNext));
        dc.DrawText(scan, pad, y);
        y += dc.GetTextExtent(scan).GetHeight();
    }

    // Why it failed, and beneath it what the slot does now (its port gone, a box that asks for
    // nothing): each wrapped, and both smaller until they fit whole.
    std::vector<wxString> parts;
    for (const std::string* text : {&m_look.detail, &m_look.note}) {
        if (!text->empty()) {
            parts.push_back(wxString::FromUTF8(*text));
        }
    }
    const int room = h - y - pad;
    for (int pixels = small; !parts.empty(); pixels = pixels * 9 / 10) {
        dc.SetFont(PixelFont(pixels, false));
        std::vector<wxString> lines;
        for (const wxString& part : parts) {
            const std::vector<wxString> wrapped = WrapText(dc, part, inner);
            lines.insert(lines.end(), wrapped.begin(), wrapped.end());
        }
        const int lineHeight = dc.GetCharHeight();
        if (pixels > 7 && static_cast<int>(lines.size()) * lineHeight > room) {
            continue;
        }
        for (const wxString& l : lines) {
            dc.DrawText(l, pad, y);
            y += lineHeight;
        }
        break;
    }
}
