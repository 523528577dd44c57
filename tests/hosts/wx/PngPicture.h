#pragma once

// A PNG file read back as RGB pixels, for checking screenshots.

#include <cstdint>
#include <string>
#include <vector>

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

int Distance(const Rgb& a, const Rgb& b);

class PngPicture {
  public:
    bool Load(const std::string& path);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Rgb At(int x, int y) const;

  private:
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_rgb;
};
