// One million single-character appends to the log view with a view attached, as the console
// echo does them. Prints the mean time per append over each decade (up to 10^4, 10^5, 10^6
// appends in total): the figures must stay flat, or the log slows down as it grows.
//
// Usage: bench_log_append [total appends, default 1000000]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "controls/LogEdit.h"
#include "tests/support/testhost/TestHost.h"

namespace {

// Mirrors the text from insertions alone, as a host's text widget does.
class MirrorView : public WindowObserver {
  public:
    std::string text;
    long scrolls = 0;
    void OnTextInserted(CWnd&, std::size_t at, std::size_t replaced,
                        std::string_view inserted) override {
        if (replaced == 0 && at == text.size()) {
            text.append(inserted);
        } else {
            text.replace(at, replaced, inserted);
        }
    }
    void OnScrolledToBottom(CWnd&) override { ++scrolls; }
};

}  // namespace

int main(int argc, char** argv) {
    const long total = argc > 1 ? std::atol(argv[1]) : 1000000;
    TestHost host;
    CLogEdit log;
    CreateParams params;
    params.kind = ControlKind::RichEdit;
    params.id = 1001;
    log.Create(params, nullptr);
    MirrorView view;
    log.AddObserver(&view);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto decadeStart = start;
    long decadeFirst = 0;
    long mark = 10000;
    const std::string console = "Loading block 0042 ... ok\r\n";
    for (long i = 1; i <= total; ++i) {
        log.AppendFormat("%c", console[static_cast<std::size_t>(i) % console.size()]);
        if (i == mark || i == total) {
            const auto now = Clock::now();
            const double ns = std::chrono::duration<double, std::nano>(now - decadeStart).count();
            const double overall = std::chrono::duration<double, std::nano>(now - start).count();
            std::printf(
                "appends %8ld: %6.1f ns/append over the last %ld, %6.1f ns/append overall\n", i,
                ns / static_cast<double>(i - decadeFirst), i - decadeFirst,
                overall / static_cast<double>(i));
            decadeStart = now;
            decadeFirst = i;
            mark *= 10;
        }
    }
    // Keep the work observable so that nothing is optimised away.
    const bool same = view.text == log.Text();
    std::printf("text %zu bytes, view %s, %ld scrolls\n", log.Text().size(),
                same ? "matches" : "DIFFERS", view.scrolls);
    return same ? 0 : 1;
}
