// PNG output of the software raster, apart from the drawing code because only this file needs
// libpng.

#include <png.h>

#include <vector>

#include "tests/support/raster/RasterDevice.h"

bool RasterDevice::WritePng(const std::string& path) const {
    if (Width() <= 0 || Height() <= 0) {
        return false;
    }
    std::vector<png_byte> rgb;
    rgb.reserve(static_cast<size_t>(Width()) * static_cast<size_t>(Height()) * 3);
    for (int y = 0; y < Height(); ++y) {
        for (int x = 0; x < Width(); ++x) {
            const COLORREF pixel = GetPixel(x, y);
            rgb.push_back(GetRValue(pixel));
            rgb.push_back(GetGValue(pixel));
            rgb.push_back(GetBValue(pixel));
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(Width());
    image.height = static_cast<png_uint_32>(Height());
    image.format = PNG_FORMAT_RGB;
    const int written = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
    png_image_free(&image);
    return written != 0;
}
