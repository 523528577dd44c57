#include "tools/stbsim/StbSimulator.h"

#include <chrono>
#include <cstdint>

#include "tools/stbsim/StbBox.h"

StbSimulator::StbSimulator(StbSimOptions options) : m_options(std::move(options)) {}

StbSimulator::~StbSimulator() = default;

Result<void> StbSimulator::Take(Result<std::unique_ptr<StbLine>> line) {
    m_line.reset();
    m_strPath.clear();
    if (!line) {
        return line.Failure();
    }
    m_line = std::move(*line);
    m_strPath = m_line->Path();
    return {};
}

Result<void> StbSimulator::OpenPty() {
    return Take(StbLine::CreatePty(m_stop));
}

Result<void> StbSimulator::OpenDevice(const std::string& path, uint32_t baud) {
    return Take(StbLine::OpenDevice(path, baud, m_stop));
}

std::string StbSimulator::CheckOptions() const {
    if (m_options.blockSize < 1 || m_options.blockSize > 65535) {
        return "block size " + std::to_string(m_options.blockSize) + " is outside 1..65535";
    }
    if (m_options.image.size() > UINT32_MAX) {
        return "an image over 4 GiB cannot be addressed by the 32-bit offset of STB_DATA_REQ";
    }
    if (m_options.boxes < 1) {
        return "at least one box is needed";
    }
    return {};
}

StbVerdict StbSimulator::Run() {
    const auto started = std::chrono::steady_clock::now();
    const std::string bad = CheckOptions();
    if (!bad.empty()) {
        return StbVerdict::Failure(bad);
    }
    if (!m_line) {
        if (Result<void> opened = OpenPty(); !opened) {
            return StbVerdict::Failure("cannot create a pseudo-terminal: " +
                                       opened.Failure().Describe());
        }
    }
    m_line->SetPacing(m_options.lineBytesPerSecond, m_options.paceReceive);
    std::string fault;
    bool hungUp = false;
    std::string earlyEnd;
    for (int box = 1; box <= m_options.boxes && fault.empty() && !hungUp; ++box) {
        StbBox one(m_options, *m_line, m_stats, box);
        fault = one.Run();
        if (!fault.empty() && m_options.boxes > 1) {
            fault = "box " + std::to_string(box) + " of " + std::to_string(m_options.boxes) + ": " +
                    fault;
        }
        hungUp = one.HungUp();
        earlyEnd = one.EarlyEnd();
        if (fault.empty() && !hungUp) {
            ++m_stats.boxesDone;
        }
    }
    m_stats.elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!fault.empty()) {
        return StbVerdict::Failure(fault);
    }
    if (hungUp) {
        return StbVerdict::Success(earlyEnd + " after " + std::to_string(m_stats.imageBytes) +
                                   " image bytes, as asked");
    }
    return StbVerdict::Success(std::to_string(m_stats.boxesDone) +
                               (m_stats.boxesDone == 1 ? " box" : " boxes") + " loaded " +
                               std::to_string(m_options.image.size()) +
                               " bytes each; every answer was right");
}
