// stbsim: a simulated set-top box loader on a pseudo-terminal (or a given tty). See kStbUsage.
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/UniqueFd.h"
#include "tools/stbsim/StbCommandLine.h"
#include "tools/stbsim/StbReplay.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"
#include "version/BuildVersion.h"

namespace {

std::string ShownName(const std::string& name);

// Every box running; filled before the handlers are installed and left alone after.
std::vector<StbSimulator*> g_simulators;
StopSignal* g_replayStop = nullptr;

// Stop() only stores an atomic and writes an eventfd, which a signal handler may do.
void OnSignal(int) {
    for (StbSimulator* simulator : g_simulators) {
        simulator->Stop();
    }
    if (g_replayStop != nullptr) {
        g_replayStop->Raise();
    }
}

// --ptys N: the boxes at once, each on its own pseudo-terminal and thread; each says which
// pty it is on ("stbsim: box 2 on /dev/pts/7") and its verdict. 0 when every box was right.
int RunSeveral(const StbCommandLine& cmd) {
    std::vector<std::unique_ptr<StbSimulator>> boxes;
    for (int k = 1; k <= cmd.ptys; ++k) {
        StbSimOptions options = OptionsForPty(cmd, k);
        options.log = [k](const std::string& line) {
            std::printf("stbsim: pty %d: %s\n", k, line.c_str());
            std::fflush(stdout);
        };
        boxes.push_back(std::make_unique<StbSimulator>(std::move(options)));
        if (Result<void> opened = boxes.back()->OpenPty(); !opened) {
            std::fprintf(stderr, "stbsim: %s\n", opened.Failure().Describe().c_str());
            return 1;
        }
        std::printf("stbsim: box %d on %s\n", k, boxes.back()->SlavePath().c_str());
        if (const std::string fifo = PowerFifoFor(cmd, k); !fifo.empty()) {
            if (Result<void> attached = boxes.back()->AttachPower(fifo); !attached) {
                std::fprintf(stderr, "stbsim: %s\n", attached.Failure().Describe().c_str());
                return 1;
            }
            std::printf("stbsim: box %d power input %s\n", k, ShownName(fifo).c_str());
        }
    }
    std::fflush(stdout);
    for (auto& box : boxes) {
        g_simulators.push_back(box.get());
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::vector<StbVerdict> verdicts(boxes.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        threads.emplace_back([&, i] { verdicts[i] = boxes[i]->Run(); });
    }
    int status = 0;
    for (std::size_t i = 0; i < threads.size(); ++i) {
        threads[i].join();
        std::FILE* out = verdicts[i].ok ? stdout : stderr;
        std::fprintf(out, "stbsim: pty %zu: %s: %s\n", i + 1, verdicts[i].ok ? "OK" : "FAILED",
                     verdicts[i].message.c_str());
        status = verdicts[i].ok ? status : 1;
    }
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return status;
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

// --replay: the capture's box against the tool. 0 when every answer was as captured, 1 at the
// first difference, 2 when the capture cannot be read or the image is not its own.
int RunReplay(const StbCommandLine& cmd) {
    Result<std::unique_ptr<CaptureReader>> capture = CaptureReader::Open(cmd.replayPath);
    if (!capture) {
        std::fprintf(stderr, "stbsim: %s\n", capture.Failure().Describe().c_str());
        return 2;
    }
    if (const std::string wrong = CheckReplayImage(**capture, cmd.options.image); !wrong.empty()) {
        std::fprintf(stderr, "stbsim: %s\n", ShownName(wrong).c_str());
        return 2;
    }
    StopSignal stop;
    Result<std::unique_ptr<StbLine>> line =
        cmd.tty.empty() ? StbLine::CreatePty(stop) : StbLine::OpenDevice(cmd.tty, cmd.baud, stop);
    if (!line) {
        std::fprintf(stderr, "stbsim: %s\n", line.Failure().Describe().c_str());
        return 1;
    }
    const Json& header = (*capture)->Header();
    std::printf("stbsim: box on %s\n", (*line)->Path().c_str());
    std::printf("stbsim: replaying %s: slot %s, START at %s\n", ShownName(cmd.replayPath).c_str(),
                ShownName(JsonStringAt(header, "slot")).c_str(),
                JsonStringAt(header, "start").c_str());
    std::fflush(stdout);
    ReplayOptions options;
    options.fast = cmd.fast;
    options.answerTimeoutMs = cmd.options.answerTimeoutMs;
    options.startTimeoutMs = cmd.options.startTimeoutMs;
    options.image = cmd.options.image;
    options.log = cmd.options.log;
    g_replayStop = &stop;
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    const StbVerdict verdict = StbReplay(std::move(options), **capture, **line).Run();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_replayStop = nullptr;
    if (verdict.ok) {
        std::printf("stbsim: replay OK: %s\n", verdict.message.c_str());
        return 0;
    }
    std::fprintf(stderr, "stbsim: replay FAILED: %s\n", ShownName(verdict.message).c_str());
    return 1;
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
        if (!UniqueFd(mkstemp(tempPath.data()))) {
            error = "cannot create a temporary image file in " + tempPath;
            tempPath.clear();
            return false;
        }
        cmd.savePath = tempPath;
    }
    const Result<void> written = stbsim::WriteImageFile(cmd.savePath, cmd.options.image);
    error = written ? std::string() : written.Failure().Describe();
    return written.Ok();
}

bool LoadImage(StbCommandLine& cmd, std::string& tempPath, std::string& error) {
    if (cmd.generateSize < 0) {
        bool cut = false;
        Result<std::vector<uint8_t>> image = stbsim::ReadImageFile(cmd.imagePath, &cut);
        if (!image) {
            error = "Cannot read input file\nstbsim: " + ShownName(cmd.imagePath) + ": " +
                    image.Failure().Describe();
            return false;
        }
        cmd.options.image = std::move(*image);
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
    if (cmd.version) {
        std::printf("stbsim %s\n", kBuildVersion);
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
    if (!cmd.replayPath.empty()) {
        return RunReplay(cmd);
    }
    if (cmd.ptys > 1) {
        std::printf("stbsim: image %s (%zu bytes, CRC-32 %08X)\n", ShownName(cmd.imagePath).c_str(),
                    cmd.options.image.size(), stbsim::Crc32(cmd.options.image));
        const int several = RunSeveral(cmd);
        if (!tempPath.empty()) {
            unlink(tempPath.c_str());
        }
        return several;
    }
    const auto size = cmd.options.image.size();
    const auto crc = stbsim::Crc32(cmd.options.image);
    StbSimulator sim(OptionsForPty(cmd, 1));
    Result<void> opened = cmd.tty.empty() ? sim.OpenPty() : sim.OpenDevice(cmd.tty, cmd.baud);
    if (opened && !cmd.powerFifo.empty()) {
        opened = sim.AttachPower(cmd.powerFifo);
    }
    int status = 1;
    if (!opened) {
        std::fprintf(stderr, "stbsim: %s\n", opened.Failure().Describe().c_str());
    } else {
        std::printf("stbsim: box on %s\n", sim.SlavePath().c_str());
        std::printf("stbsim: image %s (%zu bytes, CRC-32 %08X)\n", ShownName(cmd.imagePath).c_str(),
                    size, crc);
        if (!cmd.powerFifo.empty()) {
            std::printf("stbsim: power input %s\n", ShownName(cmd.powerFifo).c_str());
        }
        std::fflush(stdout);
        g_simulators.push_back(&sim);
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        const StbVerdict verdict = sim.Run();
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
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
