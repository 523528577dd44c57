#pragma once

// SHA-256 of a whole file, for the record that says which image a box was given. The digest is
// OpenSSL's; this file only feeds it and names the system call that failed.
//
// Threading rules: none; the function keeps no state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct FileDigest {
    std::string hex;    // 64 lower-case hex digits; empty when the file could not be read
    std::string error;  // "read: Input/output error" and the like, when hex is empty
};

// Reads descriptor `fd` from offset 0 to its end with pread, so the caller's file position is
// left alone. With an `overlay`, its bytes stand in for the file's from `overlayAt` on, where the
// file has them: the image as one box was served it (its own region written in).
FileDigest Sha256OfFile(int fd, std::int64_t overlayAt = 0, std::string_view overlay = {});

// SHA-256 of bytes in memory (a block as it went to the box), and the digest as 64 lower-case
// hex digits.
using Sha256Digest = std::array<unsigned char, 32>;
Sha256Digest Sha256OfBytes(const void* data, std::size_t size);
std::string Sha256Hex(const Sha256Digest& digest);
