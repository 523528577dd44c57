#include "tests/wx/testable/ScreenCapture.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/window.h>

bool CaptureClientArea(wxWindow* window, const std::string& path) {
    if (window == nullptr || !window->IsShownOnScreen()) {
        return false;
    }
    window->Update();
    const wxSize size = window->GetClientSize();
    const wxPoint origin = window->ClientToScreen(wxPoint(0, 0));
    wxBitmap picture(size.GetWidth(), size.GetHeight(), 24);
    {
        wxScreenDC screen;
        wxMemoryDC memory(picture);
        if (!memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, origin.x, origin.y)) {
            return false;
        }
    }
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    return picture.ConvertToImage().SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
}
