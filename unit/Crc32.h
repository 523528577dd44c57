#pragma once

// CRC-32 as IEEE 802.3 and zlib compute it (reflected polynomial 0xEDB88320, initial and final
// value 0xFFFFFFFF): "123456789" gives 0xCBF43926. A unit's region carries it over its bytes, so
// that a box's loader can tell its own data whole.

#include <cstdint>
#include <string_view>

std::uint32_t Crc32(std::string_view bytes);
