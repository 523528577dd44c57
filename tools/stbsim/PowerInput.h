#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"
#include "tools/stbsim/StopSignal.h"

// The box's mains input: a FIFO that takes the lines "on" and "off", as a switched outlet, a
// relay or a hub port would give or take the box's power. A power controller writes to it
// (`echo off > PATH`); anything else written is named in the log and ignored.
//
// The box starts powered. An "off" raises `cut`, so that whatever the box is waiting for ends
// at once; the box then waits in AwaitOn() until an "on" boots it again.
//
// Threading: a reader thread of its own reads the FIFO. On(), AwaitOn() and AwaitOff() may be
// called from any thread; `cut` and the stop passed to the waits must outlive this object.
class PowerInput {
  public:
    using Log = std::function<void(const std::string&)>;

    // Makes the FIFO at path (a file left there by an earlier run is replaced).
    static Result<std::unique_ptr<PowerInput>> Open(const std::string& path, StopSignal& cut,
                                                    Log log);
    ~PowerInput();
    PowerInput(const PowerInput&) = delete;
    PowerInput& operator=(const PowerInput&) = delete;

    const std::string& Path() const { return m_strPath; }
    bool On() const { return m_bOn.load(std::memory_order_acquire); }
    // How many times the power went off so far.
    uint64_t Offs() const { return m_nOffs.load(std::memory_order_acquire); }
    // Until the power is on (true) or stop is raised (false).
    bool AwaitOn(const StopSignal& stop);
    // Until the power has gone off after `offs` (from Offs()) (true), or stop is raised
    // (false): an off followed at once by an on is still seen.
    bool AwaitOffAfter(uint64_t offs, const StopSignal& stop);

  private:
    PowerInput(UniqueFd fifo, std::string path, StopSignal& cut, Log log);
    void ReadLoop();
    void Apply(const std::string& line);
    template <typename Done>
    bool AwaitChange(Done done, const StopSignal& stop);

    UniqueFd m_hFifo;
    std::string m_strPath;
    StopSignal& m_cut;
    Log m_log;
    std::atomic<bool> m_bOn{true};
    std::atomic<uint64_t> m_nOffs{0};
    // Raised at every change of the power; cleared by a waiter before it looks at the state.
    StopSignal m_changed;
    StopSignal m_quit;
    std::thread m_reader;
};
