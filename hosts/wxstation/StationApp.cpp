// The program Stavel_Station: the station on the desktop. It serves a job file, or ports and an
// image given on its command line, with `stavel` processes found beside it as its slots:
//   Stavel_Station [--job FILE] [--operator NAME] [--count N] [--start]
//   Stavel_Station -p [LABEL=]PORT [-p ...] -i IMAGE [--operator NAME] [--count N] [--start]
// Without either it opens the job it served last. Its own settings (the window's place, the
// last job) live in Stavel_Station.ini beside the program's settings.

#include <wx/app.h>
#include <wx/msgdlg.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "hosts/wx/InfoOptions.h"
#include "hosts/wx/UiCalls.h"
#include "hosts/wxstation/StationFrame.h"
#include "hosts/wxstation/StationSettings.h"
#include "platform/host/SignalStop.h"
#include "station/SlotProcess.h"

namespace {

constexpr const char* kUsage =
    "Usage: Stavel_Station [--job FILE] [--operator NAME] [--count N] [--start]\n"
    "       Stavel_Station -p [LABEL=]PORT [-p ...] -i FILE [--operator NAME] [--count N] "
    "[--start]\n"
    "       Stavel_Station --help | --version\n"
    "\n"
    "A production station on the desktop: one tile per slot, each slot served by the stavel\n"
    "beside this program. Without --job or --port it opens the job it served last.\n"
    "\n"
    "  --job FILE          serve the job in FILE (man stavel-job)\n"
    "  -p, --port PORT     a slot's port, [LABEL=]DEVICE or COMn; one per slot\n"
    "  -i, --image FILE    the image to serve on the ports given\n"
    "  --operator NAME     the operator, in every record\n"
    "  --count N           end each slot after N boxes\n"
    "  --start             start at once\n"
    "  --help              this text\n"
    "  --version           the version\n";

struct Arguments {
    std::optional<std::string> job;
    std::vector<std::string> ports;
    std::string image;
    std::optional<std::string> operatorName;
    bool start = false;
    int count = 0;  // boxes per slot; 0: until stopped
    std::string error;
};

Arguments Read(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = arg == "--job" || arg == "-p" || arg == "--port" || arg == "-i" ||
                            arg == "--image" || arg == "--operator" || arg == "--count";
        if (valued && i + 1 >= argc) {
            a.error = "option '" + arg + "' needs a value";
            return a;
        }
        if (arg == "--job") {
            a.job = argv[++i];
        } else if (arg == "-p" || arg == "--port") {
            a.ports.emplace_back(argv[++i]);
        } else if (arg == "-i" || arg == "--image") {
            a.image = argv[++i];
        } else if (arg == "--operator") {
            a.operatorName = argv[++i];
        } else if (arg == "--count") {
            const std::string n = argv[++i];
            a.count = n.size() <= 7 && n.find_first_not_of("0123456789") == std::string::npos
                          ? std::atoi(n.c_str())
                          : 0;
            if (a.count <= 0) {
                a.error = "--count takes a whole number from 1 to 9999999, not '" + n + "'";
                return a;
            }
        } else if (arg == "--start") {
            a.start = true;
        } else {
            a.error = "unknown option '" + arg + "'";
            return a;
        }
    }
    if (a.job && (!a.ports.empty() || !a.image.empty())) {
        a.error = "a job names its own ports and image";
    }
    return a;
}

std::string Beside(const std::string& name) {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::filesystem::path self(n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "");
    return (self.parent_path() / name).string();
}

class StationApp : public wxApp {
  public:
    bool OnInit() override {
        OpenUiCalls();
        const Arguments args = Read(argc, argv);
        if (!args.error.empty()) {
            std::fprintf(stderr, "Stavel_Station: %s\n", args.error.c_str());
            m_status = 2;
            return false;
        }
        m_settings = std::make_unique<StationSettings>(
            StationSettingsPath(std::filesystem::path(Beside("stavel")).parent_path().string()));
        std::optional<std::string> job = args.job;
        if (!job && args.ports.empty()) {
            job = m_settings->LastJob();
        }
        const std::string stavel = Beside("stavel");
        const Result<StationSetup> setup =
            job ? SetupFromJob(*job, stavel) : SetupFromPorts(args.ports, args.image, stavel);
        if (!setup) {
            const std::string why = setup.Failure().Describe();
            std::fprintf(stderr, "Stavel_Station: %s\n", why.c_str());
            wxMessageBox(wxString::FromUTF8(why), "Stavel Station", wxOK | wxICON_ERROR);
            m_status = 2;
            return false;
        }
        if (job) {
            m_settings->SetLastJob(std::filesystem::absolute(*job).string());
        }
        auto* frame = new StationFrame(*setup, args.operatorName, args.count);
        m_settings->Place(*frame);
        frame->Bind(wxEVT_CLOSE_WINDOW, [this, frame](wxCloseEvent& event) {
            m_settings->Keep(*frame);
            event.Skip();
        });
        frame->Show();
        if (args.start) {
            frame->Start();
        }
        return true;
    }

    int OnExit() override {
        CloseUiCalls();
        return m_status;
    }
    int OnRun() override {
        const int status = wxApp::OnRun();
        return m_status != 0 ? m_status : status;
    }

  private:
    std::unique_ptr<StationSettings> m_settings;
    int m_status = 0;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(StationApp);

int main(int argc, char** argv) {
    if (const std::optional<int> status = AnswerInfoOption(argc, argv, "Stavel_Station", kUsage)) {
        return *status;
    }
    // Before any thread starts, so that every thread leaves SIGINT, SIGTERM and SIGHUP to the
    // watcher: the window then closes as the operator would close it, and each box in flight
    // gets its ABORTED record before the program ends.
    SignalStop signals(
        [](int) {
            CallOnUiThread([] {
                if (wxWindow* window = wxTheApp->GetTopWindow()) {
                    window->Close(true);
                }
            });
        },
        std::chrono::seconds(10), KillSlotProcesses);
    return wxEntry(argc, argv);
}
