#include "tests/hosts/wx/testable/ScreenCapture.h"

#include <wx/bitmap.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/image.h>
#include <wx/window.h>

bool CaptureClientArea(wxWindow* window, const std::string& path) {
    if (window == nullptr || !window->IsShownOnScreen()) {
        return false;
    }
    window->Update();
    const wxSize size = window->GetClientSize();
    wxBitmap picture(size.GetWidth(), size.GetHeight(), 24);
    {
        wxClientDC screen(window);
        wxMemoryDC memory(picture);
        if (!memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, 0, 0)) {
            return false;
        }
    }
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    return picture.ConvertToImage().SaveFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
}
