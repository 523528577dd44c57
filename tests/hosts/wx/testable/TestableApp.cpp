// The program Stavel_OV_testable: Stavel_OV with the remote control the window tests drive it
// through (ControlChannel.h). The tests copy it into their own folder as Stavel_OV, so its INI
// file and message-box captions are the product's.

#include <cstdlib>
#include <memory>

#include <wx/app.h>
#include <wx/image.h>

#include "app/DownloadApp.h"
#include "platform/codepage/CodeSet.h"
#include "tests/hosts/wx/testable/ControlChannel.h"
#include "tests/hosts/wx/testable/ControlCommands.h"

namespace {

class TestableApp : public wxApp {
  public:
    bool OnInit() override {
        // Screenshots are written as PNG.
        wxInitAllImageHandlers();
        return true;
    }

    int OnRun() override {
        // A test may choose the code set the machine's locales lack ("CP949").
        if (const char* codeSet = std::getenv("STAVEL_TEST_CODESET")) {
            SetCodeSet(CodeSetFromName(codeSet));
        }
        auto host = std::make_unique<TestableHost>();
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

wxIMPLEMENT_APP(TestableApp);
