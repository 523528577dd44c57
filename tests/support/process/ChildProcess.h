#pragma once

// A program under test run as a child process: its standard output and error are collected
// while it runs (so a test can wait for a line before acting, as an operator would), it can be
// signalled, and its end is reaped with the CPU time it used.
//
// Threading rules: one reader thread collects both streams; every public member may be called
// from the test's thread while it runs. The destructor kills a child still running.

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class ChildProcess {
  public:
    struct End {
        bool reaped = false;    // false when the child outlived the wait and was killed
        bool exited = false;    // ended by exit(); otherwise by the signal below
        int status = -1;        // exit status when exited
        int signal = 0;         // the signal that ended it otherwise
        double cpuSeconds = 0;  // user + system time of the child
        double elapsedSeconds = 0;
    };

    // argv[0] is the program's path; `environment` entries ("NAME=value") are added to (or
    // replace those of) the test's own environment. With `terminal` (a pty's slave descriptor)
    // standard output and error both go to that terminal, and `terminalMaster` is read
    // instead of the pipes; the caller closes its own slave descriptor after the start.
    ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment = {},
                 int terminal = -1, int terminalMaster = -1);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::string Stdout() const;
    std::string Stderr() const;
    // Waits until standard output holds `text` at least `times` times; false when the
    // deadline passed or the stream closed first.
    bool WaitForStdout(const std::string& text, int times = 1,
                       std::chrono::milliseconds deadline = std::chrono::seconds(20));
    bool WaitForStderr(const std::string& text, int times = 1,
                       std::chrono::milliseconds deadline = std::chrono::seconds(20));

    void Signal(int signo);
    // The child's process id (a station's slots are its children).
    pid_t Pid() const { return m_pid; }
    // Reaps the child; kills it with SIGKILL when it has not ended within the deadline. Once
    // reaped, answers the same end again.
    End Wait(std::chrono::milliseconds deadline = std::chrono::seconds(30));
    // Without waiting: the child's end once it has ended (reaping it), nothing while it runs.
    std::optional<End> Ended();

  private:
    void Start(std::vector<std::string>& argv, std::vector<std::string> environment, int outFd,
               int errFd);
    bool WaitFor(const std::string& (ChildProcess::*stream)() const, const std::string& text,
                 int times, std::chrono::milliseconds deadline);
    const std::string& OutLocked() const { return m_out; }
    const std::string& ErrLocked() const { return m_err; }
    void Collect(int outFd, int errFd);
    End Reaped(int status, const rusage& usage, bool reaped);

    pid_t m_pid = -1;
    std::optional<End> m_end;
    std::chrono::steady_clock::time_point m_started;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_out;
    std::string m_err;
    bool m_closed = false;
    std::thread m_reader;
};

// The path of the program `name` built into the same folder as this test.
std::string ProgramPath(const std::string& name);

// How often `text` occurs in `haystack`, overlapping occurrences not counted.
int CountOf(const std::string& haystack, const std::string& text);
