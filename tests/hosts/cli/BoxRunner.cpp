#include "tests/hosts/cli/BoxRunner.h"

#include <chrono>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/files/TempDir.h"

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

void StartBoxesWhenListening(const std::string& logDir,
                             const std::vector<std::unique_ptr<BoxRunner>>& boxes) {
    for (int i = 0; i < 400; ++i) {
        int listening = 0;
        // A box's log is hidden until its verdict names it.
        for (const std::string& name : FilesIn(logDir)) {
            listening +=
                name.starts_with(".") ? CountOf(ReadBytes(logDir + "/" + name), kPleaseConnect) : 0;
        }
        if (listening >= static_cast<int>(boxes.size())) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (const auto& box : boxes) {
        box->Start();
    }
}
