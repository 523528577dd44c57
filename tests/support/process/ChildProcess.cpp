#include "tests/support/process/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "platform/base/Eintr.h"

extern char** environ;

namespace {

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
    std::map<std::string, std::string> vars;
    auto add = [&](const std::string& entry) {
        const auto eq = entry.find('=');
        vars[entry.substr(0, eq)] = entry;
    };
    for (char** e = environ; *e != nullptr; ++e) {
        add(*e);
    }
    for (const std::string& entry : extra) {
        add(entry);
    }
    std::vector<std::string> out;
    for (auto& [name, entry] : vars) {
        out.push_back(entry);
    }
    return out;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) {
        out.push_back(s.data());
    }
    out.push_back(nullptr);
    return out;
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

std::string ProgramPath(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

int CountOf(const std::string& haystack, const std::string& text) {
    int count = 0;
    for (auto at = haystack.find(text); at != std::string::npos;
         at = haystack.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

ChildProcess::ChildProcess(std::vector<std::string> argv, std::vector<std::string> environment,
                           int terminal, int terminalMaster) {
    int out[2];
    int err[2];
    if (terminal >= 0) {
        // Both streams on the terminal, as in an operator's shell: the reader sees them
        // together as standard output; standard error is a pipe that nobody writes.
        if (pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe2 failed");
        }
        close(err[1]);
        out[0] = fcntl(terminalMaster, F_DUPFD_CLOEXEC, 0);
        out[1] = fcntl(terminal, F_DUPFD_CLOEXEC, 0);
        err[1] = fcntl(terminal, F_DUPFD_CLOEXEC, 0);
    } else if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    Start(argv, std::move(environment), out[1], err[1]);
    m_reader = std::thread([this, o = out[0], e = err[0]] { Collect(o, e); });
}

void ChildProcess::Start(std::vector<std::string>& argv, std::vector<std::string> environment,
                         int outFd, int errFd) {
    std::vector<std::string> env = MergedEnvironment(environment);
    std::vector<char*> argvPtrs = Pointers(argv);
    std::vector<char*> envPtrs = Pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFd, STDERR_FILENO);
    // Descriptors the test holds (a pty's master or slave) must not live on in the child, or
    // closing them would not look like an unplug to it.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // The child starts with the default signal dispositions and nothing blocked, whatever
    // the thread that spawns it has set.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    m_started = std::chrono::steady_clock::now();
    // A bare name ("Xvfb") is looked up in PATH, a path is taken as it stands.
    const bool bareName = argv[0].find('/') == std::string::npos;
    const int rc = (bareName ? posix_spawnp : posix_spawn)(&m_pid, argvPtrs[0], &actions, &attr,
                                                           argvPtrs.data(), envPtrs.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(outFd);
    close(errFd);
    if (rc != 0) {
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    }
}

ChildProcess::~ChildProcess() {
    if (!m_end) {
        Wait(std::chrono::milliseconds(0));
    }
    if (m_reader.joinable()) {
        m_reader.join();
    }
}

void ChildProcess::Collect(int outFd, int errFd) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = (outFd >= 0 ? 1 : 0) + (errFd >= 0 ? 1 : 0);
    while (open > 0) {
        if (RetryOnEintr([&] { return poll(fds, 2, -1); }) < 0) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t n = RetryOnEintr([&] { return read(fds[i].fd, buffer, sizeof buffer); });
            if (n > 0) {
                std::lock_guard lock(m_mutex);
                (i == 0 ? m_out : m_err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || errno != EAGAIN) {
                // A pty's master reads EIO once the last slave is gone: the end of the stream.
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
        m_changed.notify_all();
    }
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_changed.notify_all();
}

std::string ChildProcess::Stdout() const {
    std::lock_guard lock(m_mutex);
    return m_out;
}

std::string ChildProcess::Stderr() const {
    std::lock_guard lock(m_mutex);
    return m_err;
}

bool ChildProcess::WaitFor(const std::string& (ChildProcess::*stream)() const,
                           const std::string& text, int times, std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, deadline, [&] {
        return CountOf((this->*stream)(), text) >= times || m_closed;
    }) && CountOf((this->*stream)(), text) >= times;
}

bool ChildProcess::WaitForStdout(const std::string& text, int times,
                                 std::chrono::milliseconds deadline) {
    return WaitFor(&ChildProcess::OutLocked, text, times, deadline);
}

bool ChildProcess::WaitForStderr(const std::string& text, int times,
                                 std::chrono::milliseconds deadline) {
    return WaitFor(&ChildProcess::ErrLocked, text, times, deadline);
}

void ChildProcess::Signal(int signo) {
    if (!m_end) {
        kill(m_pid, signo);
    }
}

ChildProcess::End ChildProcess::Wait(std::chrono::milliseconds deadline) {
    if (m_end) {
        return *m_end;
    }
    const auto until = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    rusage usage{};
    pid_t got = 0;
    for (;;) {
        got = wait4(m_pid, &status, WNOHANG, &usage);
        if (got != 0 || std::chrono::steady_clock::now() >= until) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (got == 0) {
        kill(m_pid, SIGKILL);
        wait4(m_pid, &status, 0, &usage);
        return Reaped(status, usage, false);
    }
    return Reaped(status, usage, got == m_pid);
}

std::optional<ChildProcess::End> ChildProcess::Ended() {
    if (!m_end) {
        int status = 0;
        rusage usage{};
        if (wait4(m_pid, &status, WNOHANG, &usage) != 0) {
            Reaped(status, usage, true);
        }
    }
    return m_end;
}

ChildProcess::End ChildProcess::Reaped(int status, const rusage& usage, bool reaped) {
    End end;
    end.reaped = reaped;
    end.elapsedSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    end.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    if (WIFEXITED(status)) {
        end.exited = true;
        end.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    m_end = end;
    if (m_reader.joinable()) {
        m_reader.join();
    }
    return end;
}
