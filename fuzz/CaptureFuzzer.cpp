// Any bytes as a capture file, read as --record-info reads it (its summary) and as a replay does
// (entry by entry, a data answer's body decoded, the box's requests found in its bytes). Neither
// may crash, take more memory than the file's size allows, or let a control character from the
// file reach the terminal.
//
// The file lives on /dev/shm where there is one, as for the settings' fuzzer.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "capture/CaptureReader.h"
#include "capture/CaptureRequests.h"
#include "capture/CaptureSummary.h"
#include "fuzz/FuzzText.h"

namespace {

std::string& Folder() {
    static std::string folder;
    return folder;
}

void RemoveScratchFolder() {
    unlink((Folder() + "/box.cap").c_str());
    rmdir(Folder().c_str());
}

std::string ScratchFile() {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/stavel-capture-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    Folder() = pattern;
    std::atexit(RemoveScratchFolder);
    return pattern + "/box.cap";
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
}

// As the replay reads it: every entry, what its requests are named, each data answer decoded.
void Replay(const std::string& path, std::size_t size) {
    Result<std::unique_ptr<CaptureReader>> opened = CaptureReader::Open(path);
    if (!opened) {
        return;
    }
    CaptureReader& reader = **opened;
    CaptureRequests requests;
    while (const std::optional<CaptureEntry> entry = reader.Next()) {
        if (entry->body.size() > size) {
            fuzz::Fail("an entry larger than its file", entry->body);
        }
        if (entry->kind == CaptureKind::Box) {
            requests.Feed(entry->body, entry->micros, [](const CapturedRequest& request) {
                fuzz::CheckTerminalSafe(RequestName(request));
            });
        } else if (entry->kind == CaptureKind::Data) {
            (void)DecodeCapturedData(entry->body);
        }
        fuzz::CheckTerminalSafe(CaptureSeconds(entry->micros));
    }
    if (reader.Offset() > size) {
        fuzz::Fail("read past the file's end", std::to_string(reader.Offset()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::UseUtf8();
    static const std::string path = ScratchFile();
    WriteFile(path, data, size);
    if (Result<std::string> summary = CaptureSummaryText(path)) {
        fuzz::CheckTerminalSafe(*summary);
    }
    Replay(path, size);
    return 0;
}
