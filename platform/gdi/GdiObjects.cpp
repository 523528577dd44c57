#include "platform/gdi/GdiObjects.h"

#include <algorithm>
#include <cstring>

#include "platform/gdi/DC.h"

const void* CFont::GetSafeHandle() const {
    return m_logFont ? &*m_logFont : nullptr;
}

BOOL CFont::DeleteObject() {
    const bool had = m_logFont.has_value();
    m_logFont.reset();
    return had ? 1 : 0;
}

BOOL CFont::CreateFontIndirect(const LOGFONT* font) {
    if (font == nullptr || m_logFont) {
        return 0;
    }
    m_logFont = *font;
    // The face name is a C string: make sure it ends inside its array whatever the caller left.
    m_logFont->lfFaceName[sizeof(m_logFont->lfFaceName) - 1] = '\0';
    return 1;
}

int CFont::GetLogFont(LOGFONT* font) const {
    if (font == nullptr || !m_logFont) {
        return 0;
    }
    *font = *m_logFont;
    return static_cast<int>(sizeof(LOGFONT));
}

const void* CBrush::GetSafeHandle() const {
    return m_colour ? &*m_colour : nullptr;
}

BOOL CBrush::DeleteObject() {
    const bool had = m_colour.has_value();
    m_colour.reset();
    return had ? 1 : 0;
}

const void* CPen::GetSafeHandle() const {
    return m_pen ? &*m_pen : nullptr;
}

BOOL CPen::DeleteObject() {
    const bool had = m_pen.has_value();
    m_pen.reset();
    return had ? 1 : 0;
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
    if (m_pen) {
        return 0;
    }
    m_pen = Pen{style, width, colour};
    return 1;
}

BOOL CBitmap::DeleteObject() {
    const bool had = m_bitmap != nullptr;
    m_bitmap.reset();
    return had ? 1 : 0;
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    if (m_bitmap || dc == nullptr || dc->m_hDC == nullptr || width < 0 || height < 0) {
        return 0;
    }
    m_bitmap = dc->m_hDC->CreateBitmap(width, height);
    return m_bitmap ? 1 : 0;
}

const void* CRgn::GetSafeHandle() const {
    return m_rect ? &*m_rect : nullptr;
}

BOOL CRgn::DeleteObject() {
    const bool had = m_rect.has_value();
    m_rect.reset();
    return had ? 1 : 0;
}

BOOL CRgn::CreateRectRgn(int left, int top, int right, int bottom) {
    if (m_rect) {
        return 0;
    }
    // Corners may come in either order; an empty rectangle is an empty region.
    RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right),
           std::max(top, bottom)};
    m_rect = IsRectEmpty(r) ? RECT{} : r;
    return 1;
}

int CRgn::GetRgnBox(RECT* box) const {
    if (!m_rect) {
        return RGN_ERROR;
    }
    if (box != nullptr) {
        *box = *m_rect;
    }
    return IsRectEmpty(*m_rect) ? NULLREGION : SIMPLEREGION;
}

CFont& StockFont() {
    static CFont font;
    static const bool made = [] {
        LOGFONT lf{};
        lf.lfHeight = -11;
        lf.lfWeight = 400;
        std::strcpy(lf.lfFaceName, "System");
        return font.CreateFontIndirect(&lf) != 0;
    }();
    static_cast<void>(made);
    return font;
}

CBrush& StockBrush() {
    static CBrush brush(RGB(255, 255, 255));
    return brush;
}

CPen& StockPen() {
    static CPen pen;
    static const bool made = pen.CreatePen(PS_SOLID, 1, RGB(0, 0, 0)) != 0;
    static_cast<void>(made);
    return pen;
}

CBitmap& StockBitmap() {
    static CBitmap bitmap;
    return bitmap;
}
