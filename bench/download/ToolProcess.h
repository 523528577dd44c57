#pragma once

#include <sys/resource.h>
#include <sys/types.h>
#include <string>
#include <vector>

// User plus system time of a resource usage, in seconds.
double CpuSecondsOf(const rusage& usage);

// The tool under measurement as a child process, with its output kept in files and its CPU
// time taken from wait4() when it ends.
class ToolProcess {
  public:
    ToolProcess() = default;
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Starts argv[0], with `env` added to this process's environment, and standard output and
    // error sent to the two files.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               const std::string& outFile, const std::string& errFile, std::string& error);
    // Waits up to graceMs for the exit, then SIGTERM, then SIGKILL. Returns the exit status as
    // a shell shows it (128 + signal when killed).
    int Finish(int graceMs);
    double CpuSeconds() const { return m_dCpu; }

  private:
    bool Reap(int& status);

    pid_t m_pid = -1;
    double m_dCpu = 0;
};
