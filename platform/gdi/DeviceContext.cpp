#include "platform/gdi/DeviceContext.h"

#include "platform/gdi/GdiObjects.h"

DeviceState::DeviceState() : font(&StockFont()), brush(&StockBrush()), pen(&StockPen()) {
    StockFont().GetLogFont(&logFont);
}

DeviceContext::DeviceContext() = default;

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
