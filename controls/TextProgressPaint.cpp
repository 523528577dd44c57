// How the text progress bar paints: areas first, then the text in up to three clipped passes so
// that each part of it takes the colour of the area beneath.

#include <cstdio>
#include <string>

#include "controls/MemDC.h"
#include "controls/ProgressLayout.h"
#include "controls/TextProgressCtrl.h"
#include "platform/gdi/DC.h"
#include "platform/window/PaintDC.h"

namespace {

struct Colours {
    COLORREF bar;
    COLORREF back;
    COLORREF text;
    COLORREF barText;
};

}  // namespace

void CTextProgressCtrl::OnPaint() {
    // An empty or inverted range has nothing to show; the control keeps what it showed.
    if (m_nLower >= m_nUpper) {
        return;
    }
    CPaintDC paintDc(this);
    // A host without a screen (the command line's) gives no surface: nothing is painted.
    if (paintDc.GetSafeHdc() == nullptr) {
        return;
    }
    CMemDC dc(&paintDc);
    const Colours colours{Effective(m_crBar, COLOR_HIGHLIGHT), Effective(m_crBack, COLOR_BTNFACE),
                          Effective(m_crText, COLOR_WINDOWTEXT),
                          Effective(m_crBarText, COLOR_WINDOW)};
    CFont* font = DrawingFont();
    if (font != nullptr) {
        dc.SelectObject(font);
    }
    RECT client;
    GetClientRect(&client);
    const double f = ProgressFraction(m_nPosition, m_nLower, m_nUpper);
    const DWORD style = GetStyle();
    const bool vertical = (style & PBS_VERTICAL) != 0;
    if (vertical && m_fontRotated.GetSafeHandle() == nullptr) {
        MakeRotatedFont(font);
    }
    const ProgressAreas areas = ComputeProgressAreas(
        client, f, vertical ? ProgressOrientation::Vertical : ProgressOrientation::Horizontal,
        (style & PBS_MARQUEE) != 0 ? ProgressStyle::Marquee : ProgressStyle::Normal,
        m_nMarqueePercent);
    if (areas.drawBefore) {
        dc.FillSolidRect(areas.before, colours.back);
    }
    dc.FillSolidRect(areas.bar, colours.bar);
    if (areas.drawAfter) {
        dc.FillSolidRect(areas.after, colours.back);
    }
    const std::string text = BarText();
    if (!text.empty()) {
        DrawBarText(dc, areas, text, vertical, colours.text, colours.barText);
    }
}

// The control's own font, else its dialog's; null when neither has one (the context's font
// then stays).
CFont* CTextProgressCtrl::DrawingFont() {
    if (CFont* own = GetFont(); own != nullptr) {
        return own;
    }
    CWnd* parent = GetParent();
    return parent != nullptr ? parent->GetFont() : nullptr;
}

// The font the bar draws with, turned to run upward. Without a font of the control or its
// dialog, the stock font is turned, so a vertical bar still shows its text.
void CTextProgressCtrl::MakeRotatedFont(CFont* source) {
    if (m_fontRotated.GetSafeHandle() != nullptr) {
        m_fontRotated.DeleteObject();
    }
    LOGFONT lf{};
    if (source == nullptr || source->GetLogFont(&lf) == 0) {
        StockFont().GetLogFont(&lf);
    }
    lf.lfEscapement = 900;
    lf.lfOrientation = 900;
    m_fontRotated.CreateFontIndirect(&lf);
}

std::string CTextProgressCtrl::BarText() {
    std::string text = GetWindowText();
    if (m_bShowPercent) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "%d%%",
                      ProgressPercent(ProgressFraction(m_nPosition, m_nLower, m_nUpper)));
        text += percent;
    }
    return text;
}

void CTextProgressCtrl::DrawBarText(CDC& dc, const ProgressAreas& areas, const std::string& text,
                                    bool vertical, COLORREF textColour, COLORREF barTextColour) {
    CFont* unturned = nullptr;
    if (vertical) {
        unturned = dc.SelectObject(&m_fontRotated);
    }
    RECT client;
    GetClientRect(&client);
    const POINT at = PlaceProgressText(
        client, dc.GetTextExtent(text),
        vertical ? ProgressOrientation::Vertical : ProgressOrientation::Horizontal, m_nTextAlign);
    dc.SetBkMode(TRANSPARENT);
    if (areas.drawBefore) {
        DrawTextPass(dc, at, client, areas.before, textColour, text);
    }
    DrawTextPass(dc, at, client, areas.bar, barTextColour, text);
    if (areas.drawAfter) {
        DrawTextPass(dc, at, client, areas.after, textColour, text);
    }
    // A context that passes through to its target must not leave the last pass's clip behind.
    dc.SelectClipRgn(nullptr);
    if (unturned != nullptr) {
        dc.SelectObject(unturned);
    }
}

// Regions are in device units while the areas are in client coordinates: converting them keeps
// the colours split at the bar's edge even when only part of the control is being painted and
// the buffer starts elsewhere than at the client's corner.
void CTextProgressCtrl::DrawTextPass(CDC& dc, POINT at, const RECT& client, const RECT& area,
                                     COLORREF colour, const std::string& text) {
    RECT device = area;
    dc.LPtoDP(&device);
    CRgn region;
    region.CreateRectRgn(device.left, device.top, device.right, device.bottom);
    dc.SelectClipRgn(&region);
    dc.SetTextColor(colour);
    dc.ExtTextOut(at.x, at.y, ETO_CLIPPED, &client, text);
    region.DeleteObject();
}
