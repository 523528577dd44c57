#include "hosts/wx/WxMemoryDevice.h"

#include <algorithm>

#include "platform/gdi/GdiObjects.h"

WxGdiBitmap::WxGdiBitmap(int width, int height)
    : m_bitmap(std::max(width, 1), std::max(height, 1), 24) {}

WxMemoryDevice::WxMemoryDevice() : m_own(std::make_shared<WxGdiBitmap>(1, 1)) {
    State().bitmap = &StockBitmap();
    m_selected = m_own;
    m_dc.SelectObject(m_own->Bitmap());
}

WxMemoryDevice::~WxMemoryDevice() {
    m_dc.SelectObject(wxNullBitmap);
}

SIZE WxMemoryDevice::SurfaceSize() const {
    return m_selected->Size();
}

bool WxMemoryDevice::SelectBitmap(std::shared_ptr<GdiBitmap> bitmap) {
    std::shared_ptr<WxGdiBitmap> next =
        bitmap == nullptr ? m_own : std::dynamic_pointer_cast<WxGdiBitmap>(bitmap);
    if (next == nullptr) {
        return false;
    }
    m_dc.SelectObject(wxNullBitmap);
    m_selected = std::move(next);
    m_dc.SelectObject(m_selected->Bitmap());
    return true;
}
