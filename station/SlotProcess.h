#pragma once

// The slots as processes: how a station starts, hears, kills and reaps them.
//
// How it works. Each slot is this very program (/proc/self/exe), or the one the host names,
// started as a child with one end of a socket pair as its descriptor 3 and `--slot-channel 3`
// as its whole command line: everything else comes down the channel. The child runs in a process
// group of its own, so that Ctrl-C on the terminal reaches the station alone and the station
// stops its slots in order; its standard output is discarded (its log goes to its log folder
// when asked) and its standard error goes to a file of the slot's own, so that a slot that
// cannot start can say why. Should the station die, the kernel kills each child
// (PR_SET_PDEATHSIG, SIGKILL), so no box is served by an orphan and the box in flight is left as
// the station's journal has it, for the station's next start to record.
//
// A process's end is heard on its pidfd; its channel is read to its end before the end is told.
// A channel that closes while its process lives gets a grace to end, then the process is killed.
//
// Threading rules: the supervisor's thread only, but Wake.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/base/UniqueFd.h"
#include "station/SlotPeer.h"

class ProcessTransport final : public SlotTransport {
  public:
    // `program` serves each slot (empty: this program).
    explicit ProcessTransport(std::string program);
    ~ProcessTransport() override;
    ProcessTransport(const ProcessTransport&) = delete;
    ProcessTransport& operator=(const ProcessTransport&) = delete;

    // The wake-up could not be made (no more descriptors): the station cannot run.
    Result<void> Made() const;

    Result<std::unique_ptr<SlotPeer>> Start(std::size_t slot,
                                            const std::string& errorFile) override;
    void Wait(std::chrono::milliseconds bound, Ears& ears) override;
    void Wake() override;

  private:
    class Process;
    friend class Process;

    std::string m_program;
    UniqueFd m_wake;
    int m_wakeError = 0;
    std::vector<Process*> m_live;  // started and not yet told ended
};

// The program to start slots from.
const std::string& SelfProgram();

// Kills every slot process this program started and has not yet reaped, and waits a moment for
// them: for an exit that cannot wait for its supervisor (a second signal, a grace run out). Any
// thread; takes no lock.
void KillSlotProcesses();
