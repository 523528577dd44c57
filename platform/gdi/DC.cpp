#include "platform/gdi/DC.h"

#include <utility>

namespace {

bool Scales(const DeviceState& s) {
    return s.mapMode == MM_ISOTROPIC || s.mapMode == MM_ANISOTROPIC;
}

LONG NonZero(LONG v) {
    return v == 0 ? 1 : v;
}

POINT ToDevicePoint(const DeviceState& s, POINT p) {
    if (!Scales(s)) {
        return POINT{p.x - s.windowOrg.x, p.y - s.windowOrg.y};
    }
    return POINT{(p.x - s.windowOrg.x) * s.viewportExt.cx / NonZero(s.windowExt.cx),
                 (p.y - s.windowOrg.y) * s.viewportExt.cy / NonZero(s.windowExt.cy)};
}

POINT ToLogicalPoint(const DeviceState& s, POINT p) {
    if (!Scales(s)) {
        return POINT{p.x + s.windowOrg.x, p.y + s.windowOrg.y};
    }
    return POINT{p.x * s.windowExt.cx / NonZero(s.viewportExt.cx) + s.windowOrg.x,
                 p.y * s.windowExt.cy / NonZero(s.viewportExt.cy) + s.windowOrg.y};
}

// A rectangle whose corners a flipping map may have swapped, put back in order.
RECT Ordered(POINT a, POINT b) {
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

}  // namespace

CDC::~CDC() {
    DeleteDC();
}

template <typename Apply>
void CDC::ForBoth(Apply apply) {
    if (m_hDC != nullptr) {
        apply(m_hDC->State());
    }
    if (m_hAttribDC != nullptr && m_hAttribDC != m_hDC) {
        apply(m_hAttribDC->State());
    }
}

BOOL CDC::Attach(DeviceContext* dc) {
    if (dc == nullptr || m_hDC != nullptr) {
        return 0;
    }
    m_hDC = dc;
    m_hAttribDC = dc;
    m_bPrinting = dc->IsPrinting() ? 1 : 0;
    return 1;
}

DeviceContext* CDC::Detach() {
    DeviceContext* dc = m_hDC;
    if (m_owned.get() == dc) {
        static_cast<void>(m_owned.release());
    }
    m_hDC = nullptr;
    m_hAttribDC = nullptr;
    return dc;
}

BOOL CDC::DeleteDC() {
    if (m_hDC == nullptr) {
        return 0;
    }
    m_hDC = nullptr;
    m_hAttribDC = nullptr;
    m_owned.reset();
    return 1;
}

BOOL CDC::CreateCompatibleDC(CDC* like) {
    if (m_hDC != nullptr) {
        return 0;
    }
    // There is no screen to fall back on: a memory context is made from a real surface or not
    // at all, and drawing into a CDC without one does nothing.
    if (like == nullptr || like->m_hDC == nullptr) {
        return 0;
    }
    m_owned = like->m_hDC->CreateCompatible();
    m_hDC = m_owned.get();
    m_hAttribDC = m_owned.get();
    return m_hDC != nullptr ? 1 : 0;
}

int CDC::GetClipBox(RECT* box) const {
    if (m_hDC == nullptr) {
        return RGN_ERROR;
    }
    const RECT device = m_hDC->DrawableArea();
    RECT logical = device;
    DPtoLP(&logical);
    if (box != nullptr) {
        *box = logical;
    }
    return IsRectEmpty(device) ? NULLREGION : SIMPLEREGION;
}

int CDC::SelectClipRgn(CRgn* region) {
    if (m_hDC == nullptr) {
        return RGN_ERROR;
    }
    std::optional<RECT> clip;
    if (region != nullptr) {
        RECT box;
        if (region->GetRgnBox(&box) == RGN_ERROR) {
            return RGN_ERROR;
        }
        clip = box;
    }
    ForBoth([&](DeviceState& s) { s.clipRegion = clip; });
    return IsRectEmpty(m_hDC->DrawableArea()) ? NULLREGION : SIMPLEREGION;
}

RECT CDC::ToDevice(const RECT& logical) const {
    const DeviceState& s = m_hDC->State();
    return Ordered(ToDevicePoint(s, POINT{logical.left, logical.top}),
                   ToDevicePoint(s, POINT{logical.right, logical.bottom}));
}

void CDC::FillSolidRect(const RECT& area, COLORREF colour) {
    if (m_hDC == nullptr) {
        return;
    }
    // The fill is an opaque text-out with nothing to write: it leaves its colour behind as the
    // output context's background colour, which callers may see.
    m_hDC->State().bkColor = colour;
    const RECT target = IntersectRects(ToDevice(area), m_hDC->DrawableArea());
    if (!IsRectEmpty(target)) {
        m_hDC->FillRect(target, colour);
    }
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF colour) {
    FillSolidRect(RECT{x, y, x + cx, y + cy}, colour);
}

SIZE CDC::GetTextExtent(const std::string& text) const {
    if (m_hAttribDC == nullptr) {
        return SIZE{};
    }
    return m_hAttribDC->MeasureText(m_hAttribDC->State().logFont, text);
}

BOOL CDC::ExtTextOut(int x, int y, UINT options, const RECT* clip, const std::string& text) {
    if (m_hDC == nullptr) {
        return 0;
    }
    const DeviceState& s = m_hDC->State();
    RECT area = m_hDC->DrawableArea();
    if (clip != nullptr && (options & ETO_OPAQUE) != 0) {
        const RECT opaque = IntersectRects(ToDevice(*clip), area);
        if (!IsRectEmpty(opaque)) {
            m_hDC->FillRect(opaque, s.bkColor);
        }
    }
    if (clip != nullptr && (options & ETO_CLIPPED) != 0) {
        area = IntersectRects(area, ToDevice(*clip));
    }
    if (text.empty() || IsRectEmpty(area)) {
        return 1;
    }
    const POINT origin = ToDevicePoint(s, POINT{x, y});
    if (s.bkMode == OPAQUE) {
        const SIZE extent = m_hDC->MeasureText(s.logFont, text);
        const RECT cell =
            s.logFont.lfEscapement == 900
                ? RECT{origin.x, origin.y - extent.cx, origin.x + extent.cy, origin.y}
                : RECT{origin.x, origin.y, origin.x + extent.cx, origin.y + extent.cy};
        const RECT behind = IntersectRects(cell, area);
        if (!IsRectEmpty(behind)) {
            m_hDC->FillRect(behind, s.bkColor);
        }
    }
    m_hDC->DrawText(origin, s.logFont, text, s.textColor, area);
    return 1;
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int xSource, int ySource,
                 DWORD rop) {
    if (m_hDC == nullptr || source == nullptr || source->m_hDC == nullptr || rop != SRCCOPY) {
        return 0;
    }
    const RECT wanted = ToDevice(RECT{x, y, x + width, y + height});
    POINT from = ToDevicePoint(source->m_hDC->State(), POINT{xSource, ySource});
    RECT area = IntersectRects(wanted, m_hDC->DrawableArea());
    // Whatever the destination clips off its left or top edge is skipped in the source as well.
    from.x += area.left - wanted.left;
    from.y += area.top - wanted.top;
    const SIZE have = source->m_hDC->SurfaceSize();
    const RECT readable = IntersectRects(
        RECT{from.x, from.y, from.x + (area.right - area.left), from.y + (area.bottom - area.top)},
        RECT{0, 0, have.cx, have.cy});
    area = RECT{area.left + (readable.left - from.x), area.top + (readable.top - from.y),
                area.left + (readable.right - from.x), area.top + (readable.bottom - from.y)};
    if (IsRectEmpty(readable) || IsRectEmpty(area)) {
        return 1;
    }
    return m_hDC->CopyFrom(area, *source->m_hDC, POINT{readable.left, readable.top}) ? 1 : 0;
}

int CDC::SetBkMode(int mode) {
    const int old = GetBkMode();
    ForBoth([&](DeviceState& s) { s.bkMode = mode; });
    return old;
}

int CDC::GetBkMode() const {
    return m_hAttribDC ? m_hAttribDC->State().bkMode : 0;
}

COLORREF CDC::SetTextColor(COLORREF colour) {
    const COLORREF old = GetTextColor();
    ForBoth([&](DeviceState& s) { s.textColor = colour; });
    return old;
}

COLORREF CDC::GetTextColor() const {
    return m_hAttribDC ? m_hAttribDC->State().textColor : CLR_INVALID;
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    const COLORREF old = GetBkColor();
    ForBoth([&](DeviceState& s) { s.bkColor = colour; });
    return old;
}

COLORREF CDC::GetBkColor() const {
    return m_hAttribDC ? m_hAttribDC->State().bkColor : CLR_INVALID;
}

CFont* CDC::SelectObject(CFont* font) {
    LOGFONT lf;
    if (m_hDC == nullptr || font == nullptr || font->GetLogFont(&lf) == 0) {
        return nullptr;
    }
    CFont* old = m_hDC->State().font;
    ForBoth([&](DeviceState& s) {
        s.font = font;
        s.logFont = lf;
    });
    return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
    if (m_hDC == nullptr || brush == nullptr || brush->GetSafeHandle() == nullptr) {
        return nullptr;
    }
    CBrush* old = m_hDC->State().brush;
    ForBoth([&](DeviceState& s) { s.brush = brush; });
    return old;
}

CPen* CDC::SelectObject(CPen* pen) {
    if (m_hDC == nullptr || pen == nullptr || pen->GetSafeHandle() == nullptr) {
        return nullptr;
    }
    CPen* old = m_hDC->State().pen;
    ForBoth([&](DeviceState& s) { s.pen = pen; });
    return old;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    // Only the stock bitmap may be selected without a bitmap behind it: it gives a memory context
    // its own 1 x 1 surface back.
    if (m_hDC == nullptr || bitmap == nullptr ||
        (bitmap->Bitmap() == nullptr && bitmap != &StockBitmap())) {
        return nullptr;
    }
    if (!m_hDC->SelectBitmap(bitmap->Bitmap())) {
        return nullptr;
    }
    CBitmap* old = m_hDC->State().bitmap;
    m_hDC->State().bitmap = bitmap;
    return old;
}

CGdiObject* CDC::SelectObject(CGdiObject* object) {
    if (object == nullptr) {
        return nullptr;
    }
    switch (object->GetObjectType()) {
        case OBJ_FONT:
            return SelectObject(static_cast<CFont*>(object));
        case OBJ_BRUSH:
            return SelectObject(static_cast<CBrush*>(object));
        case OBJ_PEN:
            return SelectObject(static_cast<CPen*>(object));
        case OBJ_BITMAP:
            return SelectObject(static_cast<CBitmap*>(object));
        default:
            return nullptr;
    }
}

CGdiObject* CDC::GetCurrentObject(UINT objectType) const {
    if (m_hDC == nullptr) {
        return nullptr;
    }
    const DeviceState& s = m_hDC->State();
    switch (objectType) {
        case OBJ_FONT:
            return s.font;
        case OBJ_BRUSH:
            return s.brush;
        case OBJ_PEN:
            return s.pen;
        case OBJ_BITMAP:
            return s.bitmap;
        default:
            return nullptr;
    }
}

POINT CDC::SetWindowOrg(int x, int y) {
    const POINT old = GetWindowOrg();
    ForBoth([&](DeviceState& s) { s.windowOrg = POINT{x, y}; });
    return old;
}

POINT CDC::GetWindowOrg() const {
    return m_hAttribDC ? m_hAttribDC->State().windowOrg : POINT{};
}

int CDC::SetMapMode(int mode) {
    const int old = GetMapMode();
    ForBoth([&](DeviceState& s) { s.mapMode = mode; });
    return old;
}

int CDC::GetMapMode() const {
    return m_hAttribDC ? m_hAttribDC->State().mapMode : 0;
}

// Extents only mean something in the scaling modes; elsewhere they are fixed at 1:1 and a change
// is refused, as a caller copying a mapping expects.
SIZE CDC::SetWindowExt(int cx, int cy) {
    const SIZE old = GetWindowExt();
    if (m_hAttribDC && Scales(m_hAttribDC->State())) {
        ForBoth([&](DeviceState& s) { s.windowExt = SIZE{cx, cy}; });
    }
    return old;
}

SIZE CDC::GetWindowExt() const {
    return m_hAttribDC ? m_hAttribDC->State().windowExt : SIZE{};
}

SIZE CDC::SetViewportExt(int cx, int cy) {
    const SIZE old = GetViewportExt();
    if (m_hAttribDC && Scales(m_hAttribDC->State())) {
        ForBoth([&](DeviceState& s) { s.viewportExt = SIZE{cx, cy}; });
    }
    return old;
}

SIZE CDC::GetViewportExt() const {
    return m_hAttribDC ? m_hAttribDC->State().viewportExt : SIZE{};
}

void CDC::LPtoDP(POINT* points, int count) const {
    if (m_hAttribDC == nullptr || points == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        points[i] = ToDevicePoint(m_hAttribDC->State(), points[i]);
    }
}

void CDC::LPtoDP(RECT* rect) const {
    if (m_hAttribDC == nullptr || rect == nullptr) {
        return;
    }
    const DeviceState& s = m_hAttribDC->State();
    const POINT a = ToDevicePoint(s, POINT{rect->left, rect->top});
    const POINT b = ToDevicePoint(s, POINT{rect->right, rect->bottom});
    *rect = RECT{a.x, a.y, b.x, b.y};
}

void CDC::DPtoLP(POINT* points, int count) const {
    if (m_hAttribDC == nullptr || points == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        points[i] = ToLogicalPoint(m_hAttribDC->State(), points[i]);
    }
}

void CDC::DPtoLP(RECT* rect) const {
    if (m_hAttribDC == nullptr || rect == nullptr) {
        return;
    }
    const DeviceState& s = m_hAttribDC->State();
    const POINT a = ToLogicalPoint(s, POINT{rect->left, rect->top});
    const POINT b = ToLogicalPoint(s, POINT{rect->right, rect->bottom});
    *rect = RECT{a.x, a.y, b.x, b.y};
}
