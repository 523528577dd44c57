#pragma once

// One slot's process: today's single-box `stavel` run as a child, its events read from a pipe.
//
// How it works. The child is started from this very program (/proc/self/exe) in a process group
// of its own, so that Ctrl-C on the terminal reaches the station alone and the station stops its
// slots in order. The event pipe is the child's descriptor 3; its standard output is discarded
// (its log goes to --log-dir when asked) and its standard error goes to a file of the slot's own,
// so a slot that cannot start can say why. Should the station die, the kernel sends each child
// SIGTERM (PR_SET_PDEATHSIG), so no box is served by an orphan.
//
// Threading rules: the supervisor's thread only.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/base/Result.h"
#include "platform/base/UniqueFd.h"

class SlotProcess {
  public:
    SlotProcess() = default;
    ~SlotProcess();
    SlotProcess(const SlotProcess&) = delete;
    SlotProcess& operator=(const SlotProcess&) = delete;

    // Starts `args` (without the program) with standard error to `errorPath`.
    Result<void> Start(const std::string& program, const std::vector<std::string>& args,
                       const std::string& errorPath);
    bool Running() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    // The event pipe, -1 once it reached its end.
    int EventFd() const { return m_fd.Get(); }

    // Reads what the pipe holds; complete lines go to `lines`. False at the pipe's end.
    bool Read(std::vector<std::string>& lines);
    void Signal(int signo);
    // Waits for the child, whose pipe has ended; answers its wait status.
    int Reap();

  private:
    pid_t m_pid = -1;
    UniqueFd m_fd;
    std::string m_partial;
};

// The program to start slots from.
const std::string& SelfProgram();
