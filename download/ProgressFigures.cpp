#include "download/ProgressFigures.h"

#include <algorithm>

#include "download/StbFrame.h"

void ProgressMeter::Restart(std::int64_t imageSize, std::uint32_t baud) {
    m_baud = baud;
    m_rate.Restart();
    m_figures = ProgressFigures{};
    m_figures.size = imageSize;
    m_quietSince.reset();
}

void ProgressMeter::OnFirstFrame(Clock::time_point when) {
    (void)OnHeard(when);
}

bool ProgressMeter::OnHeard(Clock::time_point when) {
    m_quietSince = std::max(m_quietSince.value_or(when), when);
    const bool wasStalled = m_figures.stalledSeconds.has_value();
    m_figures.stalledSeconds.reset();
    return wasStalled;
}

void ProgressMeter::OnRequest(const RequestAnswered& request, Clock::time_point when) {
    const std::int64_t size = request.imageSize;
    // A block past the image's end carries no more than the image holds.
    const std::int64_t received = size > 0 ? std::min(request.position, size) : request.position;
    m_rate.OnRequest(received, when);
    m_figures.done = request.position;
    m_figures.size = size;
    m_figures.percent = size > 0 ? static_cast<int>(received * 100 / size) : 100;
    m_figures.rate = m_rate.BytesPerSecond();
    if (m_figures.rate > 0) {
        m_figures.etaSeconds = static_cast<double>(size - received) / m_figures.rate;
    } else {
        m_figures.etaSeconds.reset();
    }
    // The box cannot ask again before our answer has crossed the line: ten bits a byte. (An
    // answer is at most 64 KiB; a figure past that is not one to wait for.)
    const std::int64_t sent = std::clamp<std::int64_t>(request.sent, 0, 1 << 16);
    const auto onWire = std::chrono::microseconds(WireMicroseconds(sent, m_baud));
    (void)OnHeard(when + std::chrono::duration_cast<Clock::duration>(onWire));
}

bool ProgressMeter::CheckStall(Clock::time_point now) {
    if (!m_quietSince || now - *m_quietSince < kStallBound) {
        return false;
    }
    const int seconds = static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(now - *m_quietSince).count());
    if (m_figures.stalledSeconds == seconds) {
        return false;
    }
    m_figures.stalledSeconds = seconds;
    m_figures.rate = 0;
    m_figures.etaSeconds.reset();
    return true;
}

void ProgressMeter::Complete() {
    m_figures.done = m_figures.size;
    m_figures.percent = 100;
    m_figures.etaSeconds = 0;
    m_figures.stalledSeconds.reset();
    m_quietSince.reset();
}
