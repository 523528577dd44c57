#include "bench/download/DownloadRun.h"

#include <sys/resource.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "bench/download/ToolProcess.h"
#include "tests/stbsim/responder/ReferenceResponder.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSecondsOf(usage);
}

std::string Tail(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 600 ? "..." + all.substr(all.size() - 600) : all;
}

StbSimOptions OptionsFor(const DownloadPlan& plan) {
    StbSimOptions options;
    options.image = stbsim::MakeTestImage(plan.imageSize, 7);
    options.blockSize = plan.blockSize;
    options.lineBytesPerSecond = plan.lineBytesPerSecond;
    options.answerTimeoutMs = 5000;
    options.startTimeoutMs = 20000;
    return options;
}

void WithResponder(StbSimulator& sim, const StbSimOptions& options, DownloadResult& result) {
    ReferenceResponder responder(sim.SlavePath(), options.image);
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!responder.Start()) {
        result.message = "cannot open " + sim.SlavePath();
        return;
    }
    const StbVerdict verdict = sim.Run();
    responder.Stop();
    responder.Join();
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.toolCpuSeconds = ProcessCpuSeconds() - cpu0;
    result.ok = verdict.ok;
    result.message = verdict.message;
}

void WithStavel(StbSimulator& sim, const StbSimOptions& options, const DownloadPlan& plan,
                const BenchConfig& config, DownloadResult& result) {
    const std::string base = config.workDir + "/" + std::to_string(plan.blockSize) + "-" +
                             std::to_string(plan.lineBytesPerSecond);
    std::string error;
    if (!stbsim::WriteImageFile(base + ".img", options.image, error)) {
        result.message = error;
        return;
    }
    ToolProcess tool;
    const auto t0 = std::chrono::steady_clock::now();
    if (!tool.Start({config.stavel, "--port", sim.SlavePath(), "--image", base + ".img", "--ini",
                     base + ".ini"},
                    base + ".out", base + ".err", error)) {
        result.message = error;
        return;
    }
    const StbVerdict verdict = sim.Run();
    result.toolExit = tool.Finish(verdict.ok ? 5000 : 0);
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.toolCpuSeconds = tool.CpuSeconds();
    result.ok = verdict.ok && result.toolExit == 0;
    result.message = verdict.message;
    if (verdict.ok && result.toolExit != 0) {
        result.message += "; but stavel exited " + std::to_string(result.toolExit);
    }
    if (!result.ok) {
        result.message += "\n  stavel's standard error: " + Tail(base + ".err");
    }
}

}  // namespace

DownloadResult RunDownload(const DownloadPlan& plan, const BenchConfig& config) {
    DownloadResult result;
    const StbSimOptions options = OptionsFor(plan);
    StbSimulator sim(options);
    if (!sim.OpenPty()) {
        result.message = sim.OpenError();
        return result;
    }
    if (config.useResponder) {
        WithResponder(sim, options, result);
    } else {
        WithStavel(sim, options, plan, config, result);
    }
    result.stats = sim.Stats();
    return result;
}
