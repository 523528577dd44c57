#include "power/BoundedCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/Eintr.h"
#include "platform/base/UniqueFd.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The last line of what the program said, for its failure; at most a line's worth.
std::string LastLine(std::string output) {
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    const std::size_t from = output.find_last_of('\n');
    std::string line = from == std::string::npos ? output : output.substr(from + 1);
    return line.size() > 200 ? line.substr(0, 200) + "..." : line;
}

std::string Seconds(std::chrono::milliseconds bound) {
    const auto ms = bound.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

PowerOutcome RunBounded(const std::vector<std::string>& argv, std::chrono::milliseconds bound) {
    if (argv.empty() || argv.front().empty()) {
        return {false, "no program to run"};
    }
    const std::string& program = argv.front();
    int ends[2];
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return {false, "cannot run " + program + ": pipe: " + std::strerror(errno)};
    }
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that a bound past kills what it started too.
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signo : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) {
        sigaddset(&defaults, signo);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    writeEnd.Reset();
    if (spawned != 0) {
        return {false, "cannot run " + program + ": " + std::strerror(spawned)};
    }
    const Clock::time_point deadline = Clock::now() + bound;
    std::string output;
    int status = 0;
    for (;;) {
        const pid_t ended = RetryOnEintr([&] { return waitpid(pid, &status, WNOHANG); });
        char buffer[512];
        for (ssize_t n; (n = read(readEnd.Get(), buffer, sizeof buffer)) > 0;) {
            output.append(buffer, static_cast<std::size_t>(n));
            if (output.size() > 4096) {
                output.erase(0, output.size() - 4096);
            }
        }
        if (ended == pid) {
            break;
        }
        if (Clock::now() >= deadline) {
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            RetryOnEintr([&] { return waitpid(pid, &status, 0); });
            return {false, program + " did not end within " + Seconds(bound) + "; killed"};
        }
        // Its output wakes the wait; its end shows at the next turn, 20 ms at most later.
        pollfd fd{readEnd.Get(), POLLIN, 0};
        RetryOnEintr([&] { return poll(&fd, 1, 20); });
        if ((fd.revents & POLLHUP) != 0) {
            usleep(1000);  // its output closed: it is ending
        }
    }
    // What it left running in its group goes with it.
    kill(-pid, SIGKILL);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return {};
    }
    const std::string said = LastLine(output);
    const std::string how = WIFSIGNALED(status)
                                ? "ended by signal " + std::to_string(WTERMSIG(status))
                                : "ended with status " + std::to_string(WEXITSTATUS(status));
    return {false, program + " " + how + (said.empty() ? std::string() : ": " + said)};
}
