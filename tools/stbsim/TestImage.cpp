#include "tools/stbsim/TestImage.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace stbsim {

std::vector<uint8_t> MakeTestImage(uint64_t size, uint32_t seed) {
    std::vector<uint8_t> image(size);
    uint64_t state = 0x9E3779B97F4A7C15ULL ^ seed;
    for (auto& byte : image) {
        // xorshift64*: fast, and good enough that every byte value turns up.
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        byte = static_cast<uint8_t>((state * 0x2545F4914F6CDD1DULL) >> 56);
    }
    return image;
}

uint32_t Crc32(const std::vector<uint8_t>& data) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFU;
    for (uint8_t byte : data) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

bool ReadImageFile(const std::string& path, std::vector<uint8_t>& image, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool WriteImageFile(const std::string& path, const std::vector<uint8_t>& image,
                    std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()),
              static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace stbsim
