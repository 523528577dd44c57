// The program Stavel_OV: the application object runs the main dialog modally and the program
// ends when the dialog ends. There are no command-line options.

#include <memory>

#include <wx/app.h>
#include <wx/image.h>

#include "app/DownloadApp.h"
#include "hosts/wx/ControlChannel.h"
#include "hosts/wx/WxHost.h"

namespace {

class StavelApp : public wxApp {
  public:
    bool OnInit() override {
        // No options: wxApp's own parsing would reject or act on arguments.
        wxInitAllImageHandlers();
        return true;
    }

    // The dialog's modal loops are the only event loops; the program's status is 0 however the
    // dialog was closed.
    int OnRun() override {
        auto host = std::make_unique<WxHost>();
        std::unique_ptr<ControlChannel> control = ControlChannel::FromEnvironment();
        if (control != nullptr && !control->Start()) {
            return 1;
        }
        {
            CDownloadApp app;
            app.InitInstance();
        }
        control.reset();
        host.reset();
        return 0;
    }
};

}  // namespace

wxIMPLEMENT_APP(StavelApp);
