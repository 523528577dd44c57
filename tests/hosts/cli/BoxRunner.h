#pragma once

// The simulated box on its own thread, on a pseudo-terminal it creates, so that a test can
// start `stavel` on SlavePath() and collect the box's verdict at the end.
//
// Threading rules: construct, Start, Join and Stats on the test's thread; the box runs on its
// own thread between Start and Join. Stop may be called at any time.

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/stbsim/StbSimulator.h"

class BoxRunner {
  public:
    explicit BoxRunner(StbSimOptions options);
    ~BoxRunner();

    bool Opened() const { return m_opened; }
    const std::string& SlavePath() const { return m_sim.SlavePath(); }
    const std::string& OpenError() const { return m_openError; }

    void Start();
    void Stop() { m_sim.Stop(); }
    // Waits for the box to finish and answers its verdict.
    StbVerdict Join();
    // Valid after Join.
    const StbSimStats& Stats() const { return m_sim.Stats(); }

  private:
    StbSimulator m_sim;
    bool m_opened = false;
    std::string m_openError;
    StbVerdict m_verdict;
    std::thread m_thread;
};

// Switches `boxes` on once as many slots of a station listen, each box's log in `logDir` saying
// so while it is still hidden, so that every box's banner is heard.
void StartBoxesWhenListening(const std::string& logDir,
                             const std::vector<std::unique_ptr<BoxRunner>>& boxes);

// A box that loads `image` as fast as the line allows, in blocks of `blockSize`.
StbSimOptions FastBox(const std::vector<uint8_t>& image, uint32_t blockSize = 4096);
