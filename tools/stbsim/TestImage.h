#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Images for the box to load when no file is given: pseudo-random bytes (every value occurs,
// STX and ETX included, so a tool that looks for frame bytes in data is caught), reproducible
// from the seed.
namespace stbsim {

std::vector<uint8_t> MakeTestImage(uint64_t size, uint32_t seed = 1);
uint32_t Crc32(const std::vector<uint8_t>& data);
// Whole file into memory; false with error text on failure.
bool ReadImageFile(const std::string& path, std::vector<uint8_t>& image, std::string& error);
bool WriteImageFile(const std::string& path, const std::vector<uint8_t>& image, std::string& error);

}  // namespace stbsim
