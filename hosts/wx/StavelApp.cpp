// The program Stavel_OV: the application object runs the main dialog modally and the program
// ends when the dialog ends. Its only options are --help and --version, which need no display;
// any other argument is ignored, as it always was.

#include <wx/app.h>

#include "app/DownloadApp.h"
#include "hosts/wx/ProgramOptions.h"
#include "hosts/wx/WxHost.h"

namespace {

// Its only options are --help and --version.
std::string Usage() {
    return "Usage: Stavel_OV [--help | --version]\n"
           "\n"
           "Loads an image into a set-top box over its serial cable, in a window: choose the port\n"
           "and the image, press START and switch the box on. The port, the image and the debug\n"
           "mode are kept in Stavel_OV.ini beside the program (or in ~/.config/Stavel_OV/).\n"
           "\n" +
           ProgramOptionLines({}) +
           "\n"
           "The command line serves boxes without a window: stavel --help, man stavel.\n";
}

class StavelApp : public wxApp {
  public:
    // No options: wxApp's own parsing would reject or act on arguments.
    bool OnInit() override { return true; }

    // The dialog's modal loops are the only event loops; the program's status is 0 however the
    // dialog was closed.
    int OnRun() override {
        WxHost host;
        CDownloadApp app;
        app.InitInstance();
        return 0;
    }
};

}  // namespace

wxIMPLEMENT_WX_THEME_SUPPORT wxIMPLEMENT_APP_NO_MAIN(StavelApp);

// wxIMPLEMENT_APP's own main, with the two options answered first.
int main(int argc, char** argv) {
    const ProgramCommandLine line = ReadProgramOptions(argc, argv, {}, true);
    if (const std::optional<int> status = AnswerProgramLine(line, "Stavel_OV", Usage())) {
        return *status;
    }
    wxDISABLE_DEBUG_SUPPORT();
    return wxEntry(argc, argv);
}
