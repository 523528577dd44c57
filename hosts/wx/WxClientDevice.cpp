#include "hosts/wx/WxClientDevice.h"

#include <wx/window.h>

WxClientDevice::WxClientDevice(wxWindow* widget)
    : m_widget(widget),
      m_dc(std::make_unique<wxClientDC>(widget)),
      m_size{widget->GetClientSize().GetWidth(), widget->GetClientSize().GetHeight()} {}

WxClientDevice::~WxClientDevice() {
    // The drawing is done once the context is gone; then it goes to the display.
    m_dc.reset();
    m_widget->Update();
}
