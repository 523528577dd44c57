#include "capture/CaptureReader.h"

#include <algorithm>
#include <cerrno>

namespace {

std::uint64_t Little(const unsigned char* bytes, int count) {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

}  // namespace

Result<std::unique_ptr<CaptureReader>> CaptureReader::Open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        return ErrnoFailure("open", path, errno);
    }
    std::unique_ptr<CaptureReader> reader(new CaptureReader(file));
    // Another file's bytes read as a length could ask for gigabytes: its first byte says enough.
    const int kind = std::fgetc(file);
    if (kind != static_cast<int>(CaptureKind::Header) || std::ungetc(kind, file) == EOF) {
        if (std::ferror(file)) {
            return ErrnoFailure("read", path, errno);
        }
        return Refusal(path, "not a capture (its first entry is no stavel-capture header)");
    }
    const std::optional<CaptureEntry> first = reader->Next();
    std::optional<Json> header;
    if (first && first->kind == CaptureKind::Header) {
        header = ParseJsonObject(first->body);
    }
    if (std::ferror(file)) {
        return ErrnoFailure("read", path, errno);
    }
    if (!header || JsonStringAt(*header, "format") != kCaptureFormatName) {
        return Refusal(path, "not a capture (its first entry is no stavel-capture header)");
    }
    const std::int64_t version = JsonWholeAt(*header, "version");
    if (version < 1 || version > kCaptureVersion) {
        return Refusal(path, "a capture of format version " + std::to_string(version) +
                                 "; this program reads version " + std::to_string(kCaptureVersion));
    }
    reader->m_header = std::move(*header);
    return reader;
}

std::optional<CaptureEntry> CaptureReader::Next() {
    unsigned char head[kCaptureEntryHead];
    const std::size_t got = std::fread(head, 1, sizeof head, m_file.get());
    if (got < sizeof head) {
        m_cut = got > 0;
        return std::nullopt;
    }
    CaptureEntry entry;
    entry.kind = static_cast<CaptureKind>(head[0]);
    entry.micros = Little(head + 1, 8);
    const std::uint64_t length = Little(head + 9, 4);
    if (length > kCaptureEntryLargest) {
        // No entry is this large: the file is broken here, and nothing after it can be trusted.
        m_cut = true;
        return std::nullopt;
    }
    // Read in steps, so that a length torn by a crash costs no more memory than the file has.
    while (entry.body.size() < length) {
        const std::size_t step =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - entry.body.size(), 1 << 16));
        const std::size_t at = entry.body.size();
        entry.body.resize(at + step);
        const std::size_t n = std::fread(entry.body.data() + at, 1, step, m_file.get());
        if (n < step) {
            m_cut = true;
            return std::nullopt;
        }
    }
    m_offset += sizeof head + length;
    return entry;
}
