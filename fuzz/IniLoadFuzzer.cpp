// Any bytes as the settings file: loading them must neither crash nor read or write out of
// bounds, and saving what was loaded must write a file that loads to the same table. Each input
// is tried in both multi-byte code sets the store knows, since they split texts differently.
//
// The files live on /dev/shm where there is one: every save flushes to disk, and a RAM file
// system makes that flush free, so the fuzzer's speed goes into the parser.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/codepage/CodeSet.h"
#include "settings/IniFile.h"

namespace {

std::string& Folder() {
    static std::string folder;
    return folder;
}

// Leaves nothing behind in the RAM file system when the run ends.
void RemoveScratchFolder() {
    for (const char* name : {"/in.ini", "/out.ini"}) {
        unlink((Folder() + name).c_str());
    }
    rmdir(Folder().c_str());
}

std::string ScratchFolder() {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    pattern += "/stavel-ini-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::abort();
    }
    Folder() = pattern;
    std::atexit(RemoveScratchFolder);
    return pattern;
}

void WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
}

void RoundTrip(const std::string& folder, const uint8_t* data, size_t size, CodeSet codeSet) {
    SetCodeSet(codeSet);
    WriteFile(folder + "/in.ini", data, size);
    CIniFile loaded;
    if (loaded.Open(folder + "/in.ini") != 1) {
        std::abort();
    }
    loaded.m_strFileName = folder + "/out.ini";
    if (loaded.Save() != 1) {
        std::abort();
    }
    CIniFile reloaded;
    if (reloaded.Open(folder + "/out.ini") != 1 || !(reloaded.Entries() == loaded.Entries())) {
        std::fprintf(stderr, "the saved file loads to another table\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = ScratchFolder();
    RoundTrip(folder, data, size, CodeSet::Utf8);
    RoundTrip(folder, data, size, CodeSet::Cp949);
    return 0;
}
