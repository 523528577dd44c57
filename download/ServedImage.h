#pragma once

// The image as one box is served it, for a job with a [unit]: the base image's bytes where the
// box's own region lies (from which its region is made), and the SHA-256 of the whole image with
// that region written in (what its record names). Both read the image START opened, with pread,
// and only while it is still the file START saw.
//
// Threading rules: the UI thread, as the download's state is.

#include <cstdint>
#include <optional>
#include <string>

#include "download/DownloadState.h"

// The open image's bytes over [offset, offset + length); nothing when no image is open, it is
// no longer the one START opened, or it ends before.
std::optional<std::string> ImageBytes(const DownloadState& state, std::int64_t offset,
                                      std::size_t length);

// The SHA-256 of the open image with `overlay` written over it; empty when it cannot be read.
std::string ServedSha256(const DownloadState& state, const ImageOverlay& overlay);
