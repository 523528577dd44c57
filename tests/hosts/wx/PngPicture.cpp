#include "tests/hosts/wx/PngPicture.h"

#include <png.h>

#include <cstdlib>

int Distance(const Rgb& a, const Rgb& b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

bool PngPicture::Load(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    m_rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, m_rgb.data(), 0, nullptr) == 0) {
        return false;
    }
    m_width = static_cast<int>(image.width);
    m_height = static_cast<int>(image.height);
    return true;
}

Rgb PngPicture::At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * m_width + x) * 3;
    return Rgb{m_rgb[i], m_rgb[i + 1], m_rgb[i + 2]};
}
