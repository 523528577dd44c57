// The program Stavel_OV: the application object runs the main dialog modally and the program
// ends when the dialog ends. There are no command-line options.

#include <wx/app.h>

#include "app/DownloadApp.h"
#include "hosts/wx/WxHost.h"

namespace {

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

wxIMPLEMENT_APP(StavelApp);
