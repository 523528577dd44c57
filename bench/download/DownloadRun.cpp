#include "bench/download/DownloadRun.h"

#include <signal.h>
#include <sys/resource.h>

#include <chrono>

#include "bench/linemodel/LineRelay.h"
#include "tests/support/process/ChildProcess.h"
#include "tests/tools/stbsim/responder/ReferenceResponder.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Tail(const std::string& all) {
    return all.size() > 600 ? "..." + all.substr(all.size() - 600) : all;
}

StbSimOptions OptionsFor(const DownloadPlan& plan) {
    StbSimOptions options;
    options.image = stbsim::MakeTestImage(plan.imageSize, 7);
    options.blockSize = plan.blockSize;
    options.lineBytesPerSecond = plan.lineBytesPerSecond;
    options.paceReceive = !plan.line;
    options.answerTimeoutMs = 5000;
    options.startTimeoutMs = 20000;
    return options;
}

void WithResponder(const std::string& device, StbSimulator& sim, const StbSimOptions& options,
                   DownloadResult& result) {
    ReferenceResponder responder(device, options.image);
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!responder.Start()) {
        result.message = "cannot open " + device;
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

void WithStavel(const std::string& device, const std::vector<std::string>& env, StbSimulator& sim,
                const StbSimOptions& options, const DownloadPlan& plan, const BenchConfig& config,
                DownloadResult& result) {
    const std::string base = config.workDir + "/" + std::to_string(plan.blockSize) + "-" +
                             std::to_string(plan.lineBytesPerSecond);
    if (const Result<void> written = stbsim::WriteImageFile(base + ".img", options.image);
        !written) {
        result.message = written.Failure().Describe();
        return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    ChildProcess tool(
        {config.stavel, "--port", device, "--image", base + ".img", "--ini", base + ".ini"}, env);
    const StbVerdict verdict = sim.Run();
    if (!verdict.ok) {
        tool.Signal(SIGTERM);  // the box gave up: stop the tool as an operator would
    }
    const ChildProcess::End end = tool.Wait(std::chrono::seconds(5));
    result.toolExit = end.exited ? end.status : 128 + end.signal;
    result.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.toolCpuSeconds = end.cpuSeconds;
    result.ok = verdict.ok && result.toolExit == 0;
    result.message = verdict.message;
    if (verdict.ok && result.toolExit != 0) {
        result.message += "; but stavel exited " + std::to_string(result.toolExit);
    }
    if (!result.ok) {
        result.message += "\n  stavel's standard error: " + Tail(tool.Stderr());
    }
}

}  // namespace

DownloadResult RunDownload(const DownloadPlan& plan, const BenchConfig& config) {
    DownloadResult result;
    const StbSimOptions options = OptionsFor(plan);
    StbSimulator sim(options);
    if (const Result<void> opened = sim.OpenPty(); !opened) {
        result.message = opened.Failure().Describe();
        return result;
    }
    std::string device = sim.SlavePath();
    std::vector<std::string> env;
    LineRelay relay;
    if (plan.line) {
        const std::string shared = config.workDir + "/line-model";
        const LineModelConfig line = LineModelConfig::For(*plan.line, plan.lineBytesPerSecond);
        if (!relay.Start(sim.SlavePath(), line, shared, result.message)) {
            return result;
        }
        device = relay.InnerPath();
        env = {"LD_PRELOAD=" + config.preload, "STAVEL_LINE_MODEL=" + shared};
    }
    if (config.useResponder) {
        WithResponder(device, sim, options, result);
    } else {
        WithStavel(device, env, sim, options, plan, config, result);
    }
    if (plan.line) {
        result.drainCalls = relay.Shared().drainCalls.load();
        result.outqCalls = relay.Shared().outqCalls.load();
        result.drainSeconds = static_cast<double>(relay.Shared().drainNs.load()) / 1e9;
        relay.Stop();
    }
    result.stats = sim.Stats();
    return result;
}
