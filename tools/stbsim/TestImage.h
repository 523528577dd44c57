#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/Result.h"

// Images for the box to load when no file is given: pseudo-random bytes (every value occurs,
// STX and ETX included, so a tool that looks for frame bytes in data is caught), reproducible
// from the seed.
namespace stbsim {

std::vector<uint8_t> MakeTestImage(uint64_t size, uint32_t seed = 1);
uint32_t Crc32(const std::vector<uint8_t>& data);
// The furthest a box can ask for: its offsets are 32 bits wide.
inline constexpr uint64_t kImageReach = uint64_t{1} << 32;

// The image into memory: a regular file, or a block device up to its size; of a larger one only
// the part a box can reach (`cut` tells). Fails with the reason (without the path) otherwise:
// a folder, a character device such as /dev/zero, a FIFO, a file that cannot be read.
Result<std::vector<uint8_t>> ReadImageFile(const std::string& path, bool* cut = nullptr);
Result<void> WriteImageFile(const std::string& path, const std::vector<uint8_t>& image);

}  // namespace stbsim
