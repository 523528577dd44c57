#include "platform/gdi/DeviceContext.h"

#include "platform/gdi/GdiObjects.h"

DeviceContext::DeviceContext() {
    m_state.font = &StockFont();
    StockFont().GetLogFont(&m_state.logFont);
    m_state.brush = &StockBrush();
    m_state.pen = &StockPen();
}

DeviceContext::~DeviceContext() = default;

RECT DeviceContext::DrawableArea() const {
    const SIZE size = SurfaceSize();
    RECT area{0, 0, size.cx, size.cy};
    if (m_updateArea) {
        area = IntersectRects(area, *m_updateArea);
    }
    if (m_state.clipRegion) {
        area = IntersectRects(area, *m_state.clipRegion);
    }
    return area;
}
