#include "download/DownloadProgress.h"

#include <cinttypes>
#include <cstdio>

std::int64_t ProgressPosition(std::int64_t offset, std::int64_t imageSize) {
    if (imageSize <= 0) {
        return offset > 0 ? kProgressRange : 0;
    }
    // offset < 2^33 and the factor 100 keep the product far inside 64 bits.
    return (offset * 100 / imageSize) * 100;
}

std::string ProgressText(std::int64_t offset, std::int64_t imageSize) {
    char text[64];
    std::snprintf(text, sizeof text, "( %" PRId64 " / %" PRId64 " ) Bytes", offset, imageSize);
    return text;
}
