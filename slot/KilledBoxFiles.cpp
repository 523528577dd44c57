#include "slot/KilledBoxFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "capture/CaptureReader.h"
#include "download/SessionEventCodec.h"
#include "platform/base/Eintr.h"
#include "platform/base/UniqueFd.h"
#include "platform/base/WriteAll.h"
#include "record/BoxRecordCodec.h"
#include "slot/BoxLogDir.h"

namespace {

bool IsDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// A regular file of its own (not a link somewhere else), with its size.
std::optional<off_t> SizeOf(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return info.st_size;
}

// "<folder>/<slot>_<start>_FAIL.incomplete<ext>", or "-2", "-3", ... before it when taken.
std::optional<std::string> NameFinally(const std::string& partial, const BoxRecord& record,
                                       const std::string& extension) {
    const std::string stem =
        FolderOf(partial) + "/" + BoxLogDir::FileStem(BoxLogDir::SafeName(record.slot), record);
    const std::string suffix = ".incomplete" + extension;
    std::string target = stem + suffix;
    for (int n = 2; access(target.c_str(), F_OK) == 0; ++n) {
        target = stem + "-" + std::to_string(n) + suffix;
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        return std::nullopt;
    }
    return target;
}

}  // namespace

bool IsHiddenBoxFile(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::string_view name(path);
    name.remove_prefix(slash == std::string::npos ? 0 : slash + 1);
    std::string_view rest;
    for (const std::string_view end : {".partial.log", ".partial.cap"}) {
        if (name.ends_with(end)) {
            rest = name.substr(0, name.size() - end.size());
        }
    }
    // ".<safe slot>.<pid>": the slot as BoxLogDir::SafeName makes it, which never starts with a
    // dot, and holds no slash.
    const std::size_t dot = rest.rfind('.');
    if (rest.size() < 4 || rest[0] != '.' || rest[1] == '.' || dot == std::string_view::npos ||
        dot < 2 || !IsDigits(rest.substr(dot + 1))) {
        return false;
    }
    const std::string_view slot = rest.substr(1, dot - 1);
    return BoxLogDir::SafeName(std::string(slot)) == slot;
}

void RemoveHiddenBoxFile(const std::string& path) {
    if (IsHiddenBoxFile(path) && SizeOf(path)) {
        std::remove(path.c_str());
    }
}

std::optional<std::string> CloseKilledBoxLog(const std::string& partial, const BoxRecord& record,
                                             const std::string& verdictLine, bool stamps) {
    const std::optional<off_t> size = IsHiddenBoxFile(partial) ? SizeOf(partial) : std::nullopt;
    if (!size) {
        return std::nullopt;
    }
    if (*size == 0) {
        std::remove(partial.c_str());
        return std::nullopt;
    }
    const UniqueFd fd(RetryOnEintr(
        [&] { return open(partial.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOFOLLOW); }));
    if (fd) {
        // The killed process may have stopped mid-line: the verdict starts a line of its own.
        char last = '\n';
        const bool endsLine = pread(fd.Get(), &last, 1, *size - 1) == 1 && last == '\n';
        std::string tail = endsLine ? std::string() : std::string("\r\n");
        tail += (stamps ? IsoUtcMillis(std::chrono::system_clock::now()) + " " : std::string()) +
                verdictLine + "\r\n";
        WriteAll(fd.Get(), tail);
    }
    return NameFinally(partial, record, ".log");
}

std::optional<std::string> CloseKilledBoxCapture(const std::string& partial,
                                                 const BoxRecord& record,
                                                 const DownloadEnded& ended) {
    if (!IsHiddenBoxFile(partial) || !SizeOf(partial)) {
        return std::nullopt;
    }
    std::uint64_t whole = 0;
    std::uint64_t micros = 0;
    {
        Result<std::unique_ptr<CaptureReader>> reader = CaptureReader::Open(partial);
        if (!reader) {
            // Not even its header reached the disk: nothing support could read.
            std::remove(partial.c_str());
            return std::nullopt;
        }
        while (const std::optional<CaptureEntry> entry = (*reader)->Next()) {
            micros = std::max(micros, entry->micros);
        }
        whole = (*reader)->Offset();
    }
    // An entry the killed process was writing is cut off, so the closing one reads after it.
    if (truncate(partial.c_str(), static_cast<off_t>(whole)) == 0) {
        Json closing = SessionEventJson(ended);
        closing["record"] = BoxRecordJson(record);
        const UniqueFd fd(RetryOnEintr(
            [&] { return open(partial.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW); }));
        if (fd) {
            WriteAll(fd.Get(), EncodeCaptureEntry(CaptureKind::Event, micros, JsonLine(closing)));
        }
    }
    return NameFinally(partial, record, ".cap");
}
