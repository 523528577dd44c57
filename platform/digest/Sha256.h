#pragma once

// SHA-256 of a whole file, for the record that says which image a box was given. The digest is
// OpenSSL's; this file only feeds it and names the system call that failed.
//
// Threading rules: none; the function keeps no state.

#include <string>

struct FileDigest {
    std::string hex;    // 64 lower-case hex digits; empty when the file could not be read
    std::string error;  // "read: Input/output error" and the like, when hex is empty
};

// Reads descriptor `fd` from offset 0 to its end with pread, so the caller's file position is
// left alone.
FileDigest Sha256OfFile(int fd);
