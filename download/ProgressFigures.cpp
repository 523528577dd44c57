#include "download/ProgressFigures.h"

#include <algorithm>

void ProgressMeter::Restart(std::int64_t imageSize) {
    m_rate.Restart();
    m_figures = ProgressFigures{};
    m_figures.size = imageSize;
}

void ProgressMeter::OnRequest(const RequestAnswered& request,
                              TransferRate::Clock::time_point when) {
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
}

void ProgressMeter::Complete() {
    m_figures.done = m_figures.size;
    m_figures.percent = 100;
    m_figures.etaSeconds = 0;
}
