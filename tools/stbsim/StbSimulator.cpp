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
    return Take(StbLine::CreatePty(m_cut));
}

Result<void> StbSimulator::OpenDevice(const std::string& path, uint32_t baud) {
    return Take(StbLine::OpenDevice(path, baud, m_cut));
}

Result<void> StbSimulator::AttachPower(const std::string& fifoPath) {
    Result<std::unique_ptr<PowerInput>> power =
        PowerInput::Open(fifoPath, m_cut, [this](const std::string& line) { Log(line); });
    if (!power) {
        return power.Failure();
    }
    m_power = std::move(*power);
    return {};
}

void StbSimulator::Log(const std::string& line) const {
    if (m_options.log) {
        m_options.log(line);
    }
}

StbSimOptions StbSimulator::OptionsForBoot(int boot) const {
    StbSimOptions options = m_options;
    if (boot > m_options.failFirst) {
        return options;
    }
    const auto half = static_cast<int64_t>(m_options.image.size() / 2);
    switch (m_options.glitch) {
        case StbSimOptions::Glitch::Stall:
            options.stopReadingAfterBytes = half;
            break;
        case StbSimOptions::Glitch::Silent:
            options.silentAfterBytes = half;
            break;
        case StbSimOptions::Glitch::Talk:
            options.chatter = StbSimOptions::Chatter::Talk;
            break;
    }
    return options;
}

std::string StbSimulator::RunPowered() {
    std::string fault;
    for (int boot = 0; m_stats.boxesDone < m_options.boxes;) {
        if (!m_power->AwaitOn(m_stop)) {
            break;
        }
        const uint64_t offs = m_power->Offs();
        m_cut.Clear();
        if (m_stop.Raised()) {
            break;
        }
        if (!m_power->On() || m_power->Offs() != offs) {
            continue;  // off again before the box could boot
        }
        if (!m_line) {
            if (Result<void> opened = OpenPty(); !opened) {
                return "cannot create a pseudo-terminal: " + opened.Failure().Describe();
            }
            m_line->SetPacing(m_options.lineBytesPerSecond, m_options.paceReceive);
            Log("box on " + m_strPath);
        }
        m_line->PowerOn();
        const StbSimOptions options = OptionsForBoot(++boot);
        const bool glitch = boot <= m_options.failFirst;
        if (glitch) {
            Log("boot " + std::to_string(boot) + " fails on purpose");
        }
        StbBox box(options, *m_line, m_stats, boot);
        const std::string boxFault = box.Run();
        if (m_stop.Raised()) {
            break;
        }
        const bool cut = m_power->Offs() != offs;
        if (!cut && boxFault.empty() && !box.HungUp()) {
            ++m_stats.boxesDone;
            continue;  // the next box is put in at once, as on a line
        }
        if (!cut && !boxFault.empty()) {
            Log("boot " + std::to_string(boot) + ": " + boxFault);
            // A tool that let go of a box that glitched on purpose is what the glitch is for.
            if (!glitch && fault.empty() && !boxFault.starts_with("line lost")) {
                fault = "boot " + std::to_string(boot) + ": " + boxFault;
            }
        }
        // A box that failed or froze stays so until its power goes off.
        if (!m_power->AwaitOffAfter(offs, m_stop)) {
            break;
        }
        if (m_options.powerOffHangsUp) {
            m_line.reset();
            m_strPath.clear();
        }
    }
    return fault;
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
    if (m_power) {
        const std::string fault = RunPowered();
        m_stats.elapsedSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        if (!fault.empty()) {
            return StbVerdict::Failure(fault);
        }
        return StbVerdict::Success(std::to_string(m_stats.boxesDone) + " of " +
                                   std::to_string(m_options.boxes) + " boxes loaded " +
                                   std::to_string(m_options.image.size()) +
                                   " bytes each; every answer was right");
    }
    std::string fault;
    bool hungUp = false;
    std::string earlyEnd;
    for (int box = 1; box <= m_options.boxes && fault.empty() && !hungUp; ++box) {
        const StbSimOptions options = OptionsForBoot(box);
        StbBox one(options, *m_line, m_stats, box);
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
