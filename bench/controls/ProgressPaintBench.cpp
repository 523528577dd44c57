// One repaint of a 400 x 30 text progress bar on the software raster: the cost of every position
// change during a download, since each one repaints at once.

#include <benchmark/benchmark.h>

#include "controls/TextProgressCtrl.h"
#include "tests/support/testhost/TestHost.h"

namespace {

void MakeBar(CTextProgressCtrl& bar, DWORD style) {
    CreateParams params;
    params.kind = ControlKind::Progress;
    params.style = WS_CHILD | WS_VISIBLE | PBS_SMOOTH | style;
    params.placement = WindowPlacement{0, 0, 400, 30};
    params.id = 1009;
    bar.Create(params, nullptr);
    bar.SendMessage(PBM_SETRANGE, 0, 0x27100000);
    bar.SendMessage(TPBM_SHOWPERCENT, 0);
}

// The download's own case: the byte count centred across the bar, one position step per paint.
void BM_RepaintWithByteCount(benchmark::State& state) {
    TestHost host;
    CTextProgressCtrl bar;
    MakeBar(bar, 0);
    int position = 0;
    for (auto _ : state) {
        position = (position + 7) % 10000;
        bar.SetWindowText("( 123456 / 4194304 ) Bytes");
        bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(position));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RepaintWithByteCount);

void BM_RepaintVerticalWithPercent(benchmark::State& state) {
    TestHost host;
    CTextProgressCtrl bar;
    MakeBar(bar, PBS_VERTICAL);
    bar.SendMessage(TPBM_SHOWPERCENT, 1);
    int position = 0;
    for (auto _ : state) {
        position = (position + 7) % 10000;
        bar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(position));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RepaintVerticalWithPercent);

}  // namespace

BENCHMARK_MAIN();
