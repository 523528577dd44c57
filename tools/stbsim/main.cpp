// stbsim: a simulated set-top box loader on a pseudo-terminal (or a given tty). See kStbUsage.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/stbsim/StbCommandLine.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

StbSimulator* g_simulator = nullptr;

// Stop() only stores an atomic and writes an eventfd, which a signal handler may do.
void OnSignal(int) {
    if (g_simulator != nullptr) {
        g_simulator->Stop();
    }
}

// A path as it may be shown: control bytes (a line break, an escape, a C1 byte) as \xHH, so a
// name cannot forge a line or drive the terminal.
std::string ShownName(const std::string& name) {
    std::string out;
    for (const char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F)) {
            static const char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "stbsim: %s\nTry 'stbsim --help'.\n", message.c_str());
    return 2;
}

// A generated image goes to --save FILE or to a temporary file that is removed at exit.
bool SaveGenerated(StbCommandLine& cmd, std::string& tempPath, std::string& error) {
    if (cmd.savePath.empty()) {
        const char* dir = std::getenv("TMPDIR");
        tempPath = std::string(dir && *dir ? dir : "/tmp") + "/stbsim-image-XXXXXX";
        const int fd = mkstemp(tempPath.data());
        if (fd < 0) {
            error = "cannot create a temporary image file in " + tempPath;
            tempPath.clear();
            return false;
        }
        close(fd);
        cmd.savePath = tempPath;
    }
    return stbsim::WriteImageFile(cmd.savePath, cmd.options.image, error);
}

bool LoadImage(StbCommandLine& cmd, std::string& tempPath, std::string& error) {
    if (cmd.generateSize < 0) {
        bool cut = false;
        if (!stbsim::ReadImageFile(cmd.imagePath, cmd.options.image, error, &cut)) {
            error = "Cannot read input file\nstbsim: " + ShownName(cmd.imagePath) + ": " + error;
            return false;
        }
        if (cut) {
            std::fprintf(stderr,
                         "stbsim: warning: the image is larger than 4 GiB; the box loads its "
                         "first 4 GiB only\n");
        }
        return true;
    }
    cmd.options.image = stbsim::MakeTestImage(static_cast<uint64_t>(cmd.generateSize));
    if (!SaveGenerated(cmd, tempPath, error)) {
        return false;
    }
    cmd.imagePath = cmd.savePath;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    StbCommandLine cmd;
    std::string error;
    if (!ParseStbCommandLine(std::vector<std::string>(argv + 1, argv + argc), cmd, error)) {
        return UsageError(error);
    }
    if (cmd.help) {
        std::fputs(kStbUsage, stdout);
        return 0;
    }
    std::string tempPath;
    if (!LoadImage(cmd, tempPath, error)) {
        std::fprintf(stderr, "stbsim: %s\n", error.c_str());
        return tempPath.empty() ? 2 : (unlink(tempPath.c_str()), 2);
    }
    cmd.options.log = [](const std::string& line) {
        std::printf("stbsim: %s\n", line.c_str());
        std::fflush(stdout);
    };
    const auto size = cmd.options.image.size();
    const auto crc = stbsim::Crc32(cmd.options.image);
    StbSimulator sim(std::move(cmd.options));
    const bool opened = cmd.tty.empty() ? sim.OpenPty() : sim.OpenDevice(cmd.tty, cmd.baud);
    int status = 1;
    if (!opened) {
        std::fprintf(stderr, "stbsim: %s\n", sim.OpenError().c_str());
    } else {
        std::printf("stbsim: box on %s\n", sim.SlavePath().c_str());
        std::printf("stbsim: image %s (%zu bytes, CRC-32 %08X)\n", ShownName(cmd.imagePath).c_str(),
                    size, crc);
        std::fflush(stdout);
        g_simulator = &sim;
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        const StbVerdict verdict = sim.Run();
        g_simulator = nullptr;
        if (verdict.ok) {
            std::printf("stbsim: OK: %s\n", verdict.message.c_str());
            status = 0;
        } else {
            std::fprintf(stderr, "stbsim: FAILED: %s\n", verdict.message.c_str());
        }
    }
    if (!tempPath.empty()) {
        unlink(tempPath.c_str());
    }
    return status;
}
