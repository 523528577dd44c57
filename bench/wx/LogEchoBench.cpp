// Console text echoed byte by byte into the desktop window's log, as the protocol does it: one
// AppendFormat("%c") per byte, the view's gathered text put into the control at the end of each
// notification (at most one ring buffer of 4191 bytes), then the event loop runs once. Prints the
// UI thread's time for 100 KB, 1 MB and 10 MB so the growth can be read off.
//
//     DISPLAY=:N bench_wx_log

#include <chrono>
#include <cstdio>

#include <wx/app.h>
#include <wx/frame.h>

#include "controls/LogEdit.h"
#include "hosts/wx/LogView.h"
#include "hosts/wx/WxHost.h"

namespace {

constexpr std::size_t kNotification = 4191;

double EchoSeconds(std::size_t bytes) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "log", wxDefaultPosition, wxSize(520, 300));
    CLogEdit log;
    CreateParams params;
    params.kind = ControlKind::RichEdit;
    params.placement = WindowPlacement{0, 0, 500, 280};
    log.Create(params, nullptr);
    LogView view(log, frame);
    view.Sync(log);
    frame->Show();
    wxTheApp->Yield(true);
    const char line[] = "loader: next block at 0x0001C000, crc pending, 12 requests so far\r\n";
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < bytes; ++i) {
        log.AppendFormat("%c", line[i % (sizeof line - 1)]);
        if ((i + 1) % kNotification == 0) {
            view.Flush();
            wxTheApp->Yield(true);
        }
    }
    view.Flush();
    frame->Update();
    wxTheApp->Yield(true);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    log.DestroyWindow();
    frame->Destroy();
    wxTheApp->Yield(true);
    return seconds;
}

class BenchApp : public wxApp {
  public:
    int OnRun() override {
        WxHost host;
        std::printf("%-10s %10s %12s\n", "bytes", "seconds", "us/byte");
        for (std::size_t bytes : {100u * 1024, 1024u * 1024, 10u * 1024 * 1024}) {
            const double s = EchoSeconds(bytes);
            std::printf("%-10zu %10.3f %12.3f\n", bytes, s, s * 1e6 / static_cast<double>(bytes));
            std::fflush(stdout);
        }
        return 0;
    }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) {
    return wxEntry(argc, argv);
}
