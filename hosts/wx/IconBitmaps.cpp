#include "hosts/wx/IconBitmaps.h"

#include <wx/image.h>

namespace {

wxImage ImageFromIcon(const IconImage& icon) {
    wxImage image(icon.width, icon.height);
    image.InitAlpha();
    for (int y = 0; y < icon.height; ++y) {
        for (int x = 0; x < icon.width; ++x) {
            const COLORREF c = icon.pixels[static_cast<std::size_t>(y) * icon.width + x];
            const bool clear = c == kIconTransparent;
            image.SetRGB(x, y, clear ? 0 : GetRValue(c), clear ? 0 : GetGValue(c),
                         clear ? 0 : GetBValue(c));
            image.SetAlpha(x, y, clear ? 0 : 255);
        }
    }
    return image;
}

}  // namespace

wxBitmap BitmapFromIcon(HICON icon, int size) {
    const IconImage* pixels = FindIcon(icon);
    if (pixels == nullptr || pixels->width <= 0 || pixels->height <= 0) {
        return wxBitmap();
    }
    wxImage image = ImageFromIcon(*pixels);
    if (size > 0 && (size != pixels->width || size != pixels->height)) {
        image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
    }
    return wxBitmap(image);
}

wxIconBundle IconBundleFrom(HICON icon) {
    wxIconBundle bundle;
    const wxBitmap own = BitmapFromIcon(icon);
    if (!own.IsOk()) {
        return bundle;
    }
    wxIcon big;
    big.CopyFromBitmap(own);
    bundle.AddIcon(big);
    if (own.GetWidth() != 16) {
        wxIcon small;
        small.CopyFromBitmap(BitmapFromIcon(icon, 16));
        bundle.AddIcon(small);
    }
    return bundle;
}
