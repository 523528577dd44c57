#include "tests/hosts/cli/BoxRunner.h"

BoxRunner::BoxRunner(StbSimOptions options) : m_sim(std::move(options)) {
    const Result<void> opened = m_sim.OpenPty();
    m_opened = opened.Ok();
    m_openError = opened.Failure().Describe();
}

BoxRunner::~BoxRunner() {
    if (m_thread.joinable()) {
        m_sim.Stop();
        m_thread.join();
    }
}

void BoxRunner::Start() {
    m_thread = std::thread([this] { m_verdict = m_sim.Run(); });
}

StbVerdict BoxRunner::Join() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return m_verdict;
}

StbSimOptions FastBox(const std::vector<uint8_t>& image, uint32_t blockSize) {
    StbSimOptions options;
    options.image = image;
    options.blockSize = blockSize;
    // The tool is started by the test and takes half a second before it listens.
    options.startTimeoutMs = 20000;
    return options;
}
