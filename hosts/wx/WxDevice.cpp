#include "hosts/wx/WxDevice.h"

#include <wx/dcclient.h>

#include "hosts/wx/WxFonts.h"
#include "hosts/wx/WxMemoryDevice.h"

void WxDevice::FillRect(const RECT& area, COLORREF colour) {
    if (IsRectEmpty(area)) {
        return;
    }
    wxDC& dc = Dc();
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(ToWxColour(colour)));
    dc.DrawRectangle(area.left, area.top, area.right - area.left, area.bottom - area.top);
}

SIZE WxDevice::MeasureText(const LOGFONT& font, const std::string& text) const {
    wxCoord width = 0;
    wxCoord height = 0;
    const wxFont wxfont = FontFromLogFont(font);
    Dc().GetTextExtent(ToWx(text), &width, &height, nullptr, nullptr, &wxfont);
    return SIZE{width, height};
}

void WxDevice::DrawText(POINT origin, const LOGFONT& font, const std::string& text, COLORREF colour,
                        const RECT& clip) {
    if (IsRectEmpty(clip)) {
        return;
    }
    wxDC& dc = Dc();
    wxDCClipper clipper(
        dc, wxRect(clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top));
    dc.SetFont(FontFromLogFont(font));
    dc.SetTextForeground(ToWxColour(colour));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    if (font.lfEscapement == 900) {
        // Turned about the text's top-left corner, the text runs upward from `origin` with the
        // glyphs' tops to the left: the cell's bottom-left corner, as CDC hands it over.
        dc.DrawRotatedText(ToWx(text), origin.x, origin.y, 90.0);
    } else {
        dc.DrawText(ToWx(text), origin.x, origin.y);
    }
}

bool WxDevice::CopyFrom(const RECT& area, const DeviceContext& source, POINT sourceOrigin) {
    const auto* wxSource = dynamic_cast<const WxDevice*>(&source);
    if (wxSource == nullptr) {
        return false;
    }
    return Dc().Blit(area.left, area.top, area.right - area.left, area.bottom - area.top,
                     const_cast<wxDC*>(&wxSource->Dc()), sourceOrigin.x, sourceOrigin.y);
}

std::unique_ptr<DeviceContext> WxDevice::CreateCompatible() const {
    return std::make_unique<WxMemoryDevice>();
}

std::shared_ptr<GdiBitmap> WxDevice::CreateBitmap(int width, int height) const {
    return std::make_shared<WxGdiBitmap>(width, height);
}
