#include "hosts/cli/Demo.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "hosts/cli/ConsoleSlotScreen.h"
#include "platform/codepage/ShownText.h"
#include "platform/host/ConsoleOutput.h"
#include "platform/ports/PortChoice.h"
#include "slot/BoxBook.h"
#include "slot/ExitStatus.h"
#include "slot/SlotSession.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

constexpr std::uint64_t kDemoImageSize = 192 * 1024;
constexpr std::uint32_t kLineBytesPerSecond = 11520;  // 115200 baud, 8N1

// Switches the simulated box on when START has opened the image.
class BoxSwitch final : public DownloadObserver {
  public:
    explicit BoxSwitch(std::function<void()> on) : m_on(std::move(on)) {}
    void OnStarted(const DownloadStarted&) override { m_on(); }

  private:
    std::function<void()> m_on;
};

// A private folder for the demo's image and settings, removed at the end.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "stavel-demo-XXXXXX");
        if (mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempFolder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace

int RunDemo(const DemoOptions& options) {
    TempFolder folder;
    if (folder.Path().empty()) {
        std::perror("stavel: cannot make a temporary folder");
        return 1;
    }
    std::string imagePath;
    std::vector<std::uint8_t> image;
    if (options.image) {
        imagePath = *options.image;
        bool cut = false;
        Result<std::vector<std::uint8_t>> read = stbsim::ReadImageFile(imagePath, &cut);
        if (!read) {
            WriteStderr("stavel: Cannot read input file\nstavel: " + EscapeName(imagePath) + ": " +
                        read.Failure().Describe() + "\n");
            return kExitUsage;
        }
        image = std::move(*read);
        if (cut) {
            WriteStderr("stavel: the simulated box loads the image's first 4 GiB only\n");
        }
    } else {
        imagePath = folder.Path() + "/demo.sdl";
        image = stbsim::MakeTestImage(kDemoImageSize);
        if (Result<void> written = stbsim::WriteImageFile(imagePath, image); !written) {
            WriteStderr("stavel: " + EscapeName(written.Failure().Describe()) + "\n");
            return 1;
        }
    }

    StbSimOptions simOptions;
    simOptions.image = image;
    simOptions.lineBytesPerSecond = options.fast ? 0 : kLineBytesPerSecond;
    simOptions.consoleNoise = true;
    StbSimulator box(std::move(simOptions));
    if (Result<void> opened = box.OpenPty(); !opened) {
        WriteStderr("stavel: the simulated box has no line: " + opened.Failure().Describe() + "\n");
        return 1;
    }
    const Result<PortChoice> chosen = ChoosePort(box.SlavePath());
    if (!chosen) {
        WriteStderr("stavel: " + EscapeName(chosen.Failure().Describe()) + "\n");
        return 1;
    }
    const PortChoice& port = *chosen;
    WriteStderr("stavel: simulated box on " + box.SlavePath() + " (COM" +
                std::to_string(port.number) + "), image " + EscapeName(imagePath) + ", " +
                std::to_string(image.size()) + " bytes, " +
                (options.fast ? "unpaced" : "paced at 115200 baud") + "\n");

    StbVerdict verdict;
    std::thread boxThread;
    const std::string device = ResolvedDevicePath(port.devicePath);
    BoxBook book("COM" + std::to_string(port.number) + " (" + device + ")",
                 std::make_unique<RecordBook>(nullptr, RecordProvenance{}));
    ConsoleSlotScreen screen(options.quiet);
    SessionConfig config;
    config.screen = &screen;
    config.slot = SlotOn(box.SlavePath(), device);
    config.book = &book;
    config.portNumber = port.number;
    config.image = imagePath;
    config.ini = folder.Path() + "/Stavel_OV.ini";
    config.debug = options.debug;
    // The box is switched on once the tool waits for it, as the log asks the operator to.
    BoxSwitch boxSwitch([&] {
        if (!boxThread.joinable()) {
            boxThread = std::thread([&] { verdict = box.Run(); });
        }
    });
    config.observers.push_back(&boxSwitch);
    SlotSession session(config);
    if (options.running) {
        options.running(&session);
    }
    const int status = session.Run();
    if (options.running) {
        options.running(nullptr);
    }
    if (boxThread.joinable()) {
        if (status != kExitPass) {
            box.Stop();
        }
        boxThread.join();
    } else {
        verdict = StbVerdict::Failure("the box was never switched on");
    }
    WriteStderr(std::string("stavel: box verdict: ") + (verdict.ok ? "OK, " : "FAILED, ") +
                verdict.message + "\n");
    if (status != kExitPass) {
        return status;
    }
    return verdict.ok ? 0 : 1;
}
