#include "download/ServedImage.h"

#include <unistd.h>

#include "platform/base/Eintr.h"
#include "platform/digest/Sha256.h"

namespace {

bool StillOpen(const DownloadState& state) {
    return state.m_pImageFile != nullptr &&
           ImageUnchanged(state.m_imageIdentity, state.m_strImagePath, fileno(state.m_pImageFile));
}

}  // namespace

std::optional<std::string> ImageBytes(const DownloadState& state, std::int64_t offset,
                                      std::size_t length) {
    if (!StillOpen(state)) {
        return std::nullopt;
    }
    std::string bytes(length, '\0');
    std::size_t got = 0;
    const int fd = fileno(state.m_pImageFile);
    while (got < length) {
        const ssize_t n = RetryOnEintr([&] {
            return pread(fd, bytes.data() + got, length - got,
                         static_cast<off_t>(offset) + static_cast<off_t>(got));
        });
        if (n <= 0) {
            return std::nullopt;
        }
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

std::string ServedSha256(const DownloadState& state, const ImageOverlay& overlay) {
    if (!StillOpen(state)) {
        return {};
    }
    return Sha256OfFile(fileno(state.m_pImageFile), overlay.offset, overlay.bytes).hex;
}
