#pragma once

#include <memory>
#include <string>

#include "tools/stbsim/PowerInput.h"
#include "tools/stbsim/StbLine.h"
#include "tools/stbsim/StbSimOptions.h"
#include "tools/stbsim/StbSimStats.h"
#include "tools/stbsim/StbVerdict.h"
#include "tools/stbsim/StopSignal.h"

// A simulated set-top box loader: it plays the box's side of the download, on a pseudo-terminal
// it creates (the tool opens SlavePath()) or on a tty it is given, and judges every answer.
//
//     StbSimulator sim(options);
//     if (Result<void> opened = sim.OpenPty(); !opened) { ... opened.Failure() ... }
//     start the tool on sim.SlavePath();
//     StbVerdict verdict = sim.Run();
//
// Threading: construct, open, Run() and read Stats() on one thread. Stop() may be called from
// any other thread, or from a signal handler, at any time while the object lives; Run() then
// returns a failure "stopped ..." promptly. SlavePath() may be read by other threads once
// OpenPty() or OpenDevice() has returned.
class StbSimulator {
  public:
    explicit StbSimulator(StbSimOptions options);
    ~StbSimulator();
    StbSimulator(const StbSimulator&) = delete;
    StbSimulator& operator=(const StbSimulator&) = delete;

    // A new pseudo-terminal; its slave stays open on the box's side until the line is closed,
    // so the tool may open it at any time.
    Result<void> OpenPty();
    // A given tty (a real serial adapter), configured raw 8N1 at baud.
    Result<void> OpenDevice(const std::string& path, uint32_t baud);
    const std::string& SlavePath() const { return m_strPath; }
    // A power input at fifoPath (PowerInput); from then on the box boots when it is switched
    // on, and a box that failed or froze stays so until the power goes off. Before Run().
    Result<void> AttachPower(const std::string& fifoPath);

    // Serves options.boxes downloads one after another; opens a pty first if nothing is open.
    // Blocks until every box is done, a fault is found, or Stop() is called.
    StbVerdict Run();
    void Stop() {
        m_stop.Raise();
        m_cut.Raise();
    }

    const StbSimStats& Stats() const { return m_stats; }

  private:
    std::string CheckOptions() const;
    Result<void> Take(Result<std::unique_ptr<StbLine>> line);
    // The options of boot number `boot` (1, 2, ...): failFirst applied.
    StbSimOptions OptionsForBoot(int boot) const;
    // Run() with a power input: boots whenever the power comes on, until every box is loaded.
    std::string RunPowered();
    void Log(const std::string& line) const;

    StbSimOptions m_options;
    StopSignal m_stop;
    // What the line's waits end on: a stop, or the power going off.
    StopSignal m_cut;
    std::unique_ptr<PowerInput> m_power;
    std::unique_ptr<StbLine> m_line;
    std::string m_strPath;
    StbSimStats m_stats;
};
