#pragma once

// Opens the image a download serves. An image is a regular file, or a block device (a card or a
// stick holding the image), read up to its size. Anything else is refused with the reason: a
// folder, a character device such as /dev/zero (endless bytes, no size), a FIFO or a socket
// (they block, and what they give cannot be asked for again by offset). Opening never blocks:
// a FIFO without a writer is refused, not waited for.

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/base/SysResult.h"

struct ImageFile {
    std::FILE* file = nullptr;  // open for reading ("rb") when the image can be served
    std::int64_t size = 0;
    std::string reason;  // why it cannot be served, when file is null
    SysResult result;    // the same, as the system's vocabulary
};

ImageFile OpenImageFile(const std::string& path);

// The furthest the box can ask for: its offsets are 32 bits wide.
inline constexpr std::int64_t kImageReach = std::int64_t{1} << 32;
