// The application's icons, drawn here rather than shipped as files: a set-top box taking a
// download (128) and the two connection lamps, a red (130) and a green (131) disc.

#include <cmath>
#include <utility>

#include "app/Icons.h"
#include "app/Resources.h"
#include "platform/window/Icon.h"

namespace {

IconImage Blank(int size) {
    IconImage image;
    image.width = size;
    image.height = size;
    image.pixels.assign(static_cast<std::size_t>(size) * size, kIconTransparent);
    return image;
}

void Put(IconImage& image, int x, int y, COLORREF colour) {
    if (x >= 0 && y >= 0 && x < image.width && y < image.height) {
        image.pixels[static_cast<std::size_t>(y) * image.width + x] = colour;
    }
}

COLORREF Scale(COLORREF c, double f) {
    auto s = [f](BYTE v) {
        const double r = v * f;
        return static_cast<BYTE>(r > 255 ? 255 : r);
    };
    return RGB(s(GetRValue(c)), s(GetGValue(c)), s(GetBValue(c)));
}

// A lamp: a disc with a darker rim and a highlight towards the top left, as a lit LED looks.
IconImage Lamp(COLORREF colour) {
    constexpr int kSize = 16;
    IconImage image = Blank(kSize);
    const double centre = (kSize - 1) / 2.0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const double d = std::hypot(x - centre, y - centre);
            if (d > 7.2) {
                continue;
            }
            COLORREF c = colour;
            if (d > 6.0) {
                c = Scale(colour, 0.55);
            } else if (std::hypot(x - 5.0, y - 5.0) < 2.2) {
                c = RGB(255, 255, 255);
            } else if (std::hypot(x - 5.5, y - 5.5) < 3.6) {
                c = Scale(colour, 1.35);
            }
            Put(image, x, y, c);
        }
    }
    return image;
}

void FillRect(IconImage& image, int left, int top, int right, int bottom, COLORREF colour) {
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            Put(image, x, y, colour);
        }
    }
}

// The application: a set-top box with a download arrow coming down into it.
IconImage Application() {
    constexpr int kSize = 32;
    IconImage image = Blank(kSize);
    const COLORREF arrow = RGB(0, 96, 192);
    FillRect(image, 13, 2, 19, 13, arrow);  // shaft
    for (int row = 0; row < 7; ++row) {     // head
        FillRect(image, 8 + row, 13 + row, 24 - row, 14 + row, arrow);
    }
    const COLORREF body = RGB(48, 48, 56);
    FillRect(image, 2, 21, 30, 30, body);
    FillRect(image, 3, 22, 29, 23, RGB(112, 112, 128));  // top edge catching the light
    FillRect(image, 5, 25, 8, 27, RGB(0, 220, 0));       // power LED
    FillRect(image, 12, 25, 27, 26, RGB(16, 16, 16));    // front slot
    return image;
}

}  // namespace

void RegisterIcons() {
    RegisterIcon(IDR_MAINFRAME, Application());
    RegisterIcon(IDI_LAMP_RED, Lamp(RGB(220, 0, 0)));
    RegisterIcon(IDI_LAMP_GREEN, Lamp(RGB(0, 200, 0)));
}
