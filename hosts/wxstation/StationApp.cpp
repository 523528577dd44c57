// The program Stavel_Station: the station on the desktop. It serves a job file, or ports and an
// image given on its command line, with `stavel` processes found beside it as its slots:
//   Stavel_Station [--job FILE] [--operator NAME] [--count N] [--start]
//   Stavel_Station -p [LABEL=]PORT [-p ...] -i IMAGE [--operator NAME] [--count N] [--start]
// Without either it opens the job it served last. Its own settings (the window's place, the
// last job) live in Stavel_Station.ini beside the program's settings.

#include <wx/app.h>
#include <wx/msgdlg.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "hosts/wx/ProgramOptions.h"
#include "hosts/wx/UiCalls.h"
#include "hosts/wxstation/StationFrame.h"
#include "hosts/wxstation/StationSettings.h"
#include "platform/host/SignalStop.h"
#include "station/SlotProcess.h"

namespace {

constexpr std::array<ProgramOption, 6> kOptions{{
    {"", "--job", "FILE", "serve the job in FILE (man stavel-job)"},
    {"-p", "--port", "PORT", "a slot's port, [LABEL=]DEVICE or COMn; one per slot"},
    {"-i", "--image", "FILE", "the image to serve on the ports given"},
    {"", "--operator", "NAME", "the operator, in every record"},
    {"", "--count", "N", "end each slot after N boxes"},
    {"", "--start", "", "start at once"},
}};

std::string Usage() {
    return "Usage: Stavel_Station [--job FILE] [--operator NAME] [--count N] [--start]\n"
           "       Stavel_Station -p [LABEL=]PORT [-p ...] -i FILE [--operator NAME] [--count N] "
           "[--start]\n"
           "       Stavel_Station --help | --version\n"
           "\n"
           "A production station on the desktop: one tile per slot, each slot served by the "
           "stavel\n"
           "beside this program. Without --job or --port it opens the job it served last.\n"
           "\n" +
           ProgramOptionLines(kOptions);
}

struct Arguments {
    std::optional<std::string> job;
    std::vector<std::string> ports;
    std::string image;
    std::optional<std::string> operatorName;
    bool start = false;
    int count = 0;  // boxes per slot; 0: until stopped
    std::string error;
};

Arguments Read(const ProgramCommandLine& line) {
    Arguments a;
    for (const auto& [name, value] : line.given) {
        if (name == "--job") {
            a.job = value;
        } else if (name == "--port") {
            a.ports.push_back(value);
        } else if (name == "--image") {
            a.image = value;
        } else if (name == "--operator") {
            a.operatorName = value;
        } else if (name == "--count") {
            a.count =
                value.size() <= 7 && value.find_first_not_of("0123456789") == std::string::npos
                    ? std::atoi(value.c_str())
                    : 0;
            if (a.count <= 0) {
                a.error = "--count takes a whole number from 1 to 9999999, not '" + value + "'";
                return a;
            }
        } else if (name == "--start") {
            a.start = true;
        }
    }
    if (a.job && (!a.ports.empty() || !a.image.empty())) {
        a.error = "a job names its own ports and image";
    } else if (!a.ports.empty() && a.image.empty()) {
        a.error = "ports given without an image (-i FILE)";
    } else if (a.ports.empty() && !a.image.empty()) {
        a.error = "an image given without a port (-p PORT)";
    }
    return a;
}

// Read in main, before the toolkit: a usage error needs no display.
Arguments g_arguments;
// The status of a start that failed (OnInit's false makes wxEntry's own -1, status 255).
int g_startStatus = 0;

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
        const Arguments& args = g_arguments;
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
            g_startStatus = 2;
            return false;
        }
        if (job) {
            m_settings->SetLastJob(std::filesystem::absolute(*job).string());
        }
        auto* frame = new StationFrame(*setup, args.operatorName, args.count);
        m_settings->Place(*frame);
        frame->SetSound(m_settings->Sound());
        frame->Bind(wxEVT_CLOSE_WINDOW, [this, frame](wxCloseEvent& event) {
            m_settings->Keep(*frame);
            m_settings->SetSound(frame->SoundOn());
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
        return wxApp::OnExit();
    }

  private:
    std::unique_ptr<StationSettings> m_settings;
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(StationApp);

int main(int argc, char** argv) {
    const ProgramCommandLine line = ReadProgramOptions(argc, argv, kOptions, false);
    if (const std::optional<int> status = AnswerProgramLine(line, "Stavel_Station", Usage())) {
        return *status;
    }
    g_arguments = Read(line);
    if (!g_arguments.error.empty()) {
        std::fprintf(stderr, "Stavel_Station: %s\nTry 'Stavel_Station --help' for its options.\n",
                     g_arguments.error.c_str());
        return 2;
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
    const int status = wxEntry(argc, argv);
    return g_startStatus != 0 ? g_startStatus : status;
}
