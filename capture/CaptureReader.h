#pragma once

// Reads a capture file entry by entry (CaptureFormat.h), for its summary and for a replay. The
// header is read and checked at Open: a file that is not a capture, or one of a newer version,
// is refused with why. An entry cut short at the end (a crash while it was written) ends the
// reading without a failure; CutShort says so.
//
// Threading rules: one thread.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "capture/CaptureFormat.h"
#include "platform/base/Result.h"
#include "record/Json.h"

class CaptureReader {
  public:
    static Result<std::unique_ptr<CaptureReader>> Open(const std::string& path);

    // The header's JSON object: "format", "version", the tool, the slot and the start.
    const Json& Header() const { return m_header; }
    // The next entry after the header; nothing at the end of the file. Kinds this version does
    // not know come too: a caller skips them.
    std::optional<CaptureEntry> Next();
    // The file ended inside an entry.
    bool CutShort() const { return m_cut; }
    // Bytes read so far (the whole file once Next has answered nothing).
    std::uint64_t Offset() const { return m_offset; }

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    explicit CaptureReader(std::FILE* file) : m_file(file) {}

    std::unique_ptr<std::FILE, Closer> m_file;
    Json m_header;
    bool m_cut = false;
    std::uint64_t m_offset = 0;
};
