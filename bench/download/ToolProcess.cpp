#include "bench/download/ToolProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

double CpuSecondsOf(const rusage& usage) {
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

ToolProcess::~ToolProcess() {
    if (m_pid > 0) {
        Finish(0);
    }
}

bool ToolProcess::Start(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                        const std::string& outFile, const std::string& errFile,
                        std::string& error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> args;
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> environment;
    for (const auto& entry : env) {
        environment.push_back(const_cast<char*>(entry.c_str()));
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.push_back(*entry);
    }
    environment.push_back(nullptr);
    const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        m_pid = -1;
        return false;
    }
    return true;
}

bool ToolProcess::Reap(int& status) {
    rusage usage{};
    const pid_t done = wait4(m_pid, &status, WNOHANG, &usage);
    if (done != m_pid) {
        return false;
    }
    m_dCpu = CpuSecondsOf(usage);
    m_pid = -1;
    return true;
}

int ToolProcess::Finish(int graceMs) {
    if (m_pid <= 0) {
        return -1;
    }
    int status = 0;
    // A clean exit first; then the polite signal the tool stops cleanly on; then no choice.
    const std::pair<int, int> steps[] = {{0, graceMs}, {SIGTERM, 2000}, {SIGKILL, 60000}};
    for (const auto& [sig, waitMs] : steps) {
        if (sig != 0) {
            kill(m_pid, sig);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
        while (!Reap(status) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (m_pid < 0) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    return -1;
}
