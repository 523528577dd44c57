#include "station/SlotProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/base/Eintr.h"

namespace {

// A line longer than this is no event of ours; it is dropped rather than kept growing.
constexpr std::size_t kMaxLine = 64 * 1024;

}  // namespace

const std::string& SelfProgram() {
    static const std::string path = [] {
        char buffer[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("stavel");
    }();
    return path;
}

SlotProcess::~SlotProcess() {
    m_fd.Reset();
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        Reap();
    }
}

Result<void> SlotProcess::Start(const std::string& program, const std::vector<std::string>& args,
                                const std::string& errorPath) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return ErrnoFailure("pipe2", "", errno);
    }
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    const UniqueFd errFd(open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    const UniqueFd nullFd(open("/dev/null", O_RDWR | O_CLOEXEC));
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<std::string> argvText{program.empty() ? SelfProgram() : program};
    argvText.insert(argvText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argvText) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);  // the station is gone already
        }
        dup2(nullFd.Get(), 0);
        dup2(nullFd.Get(), 1);
        dup2(errFd ? errFd.Get() : nullFd.Get(), 2);
        dup2(writeEnd.Get(), 3);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        return ErrnoFailure("fork", "", errno);
    }
    m_pid = pid;
    m_fd = std::move(readEnd);
    m_partial.clear();
    return {};
}

bool SlotProcess::Read(std::vector<std::string>& lines) {
    char buffer[4096];
    const ssize_t n = RetryOnEintr([&] { return read(m_fd.Get(), buffer, sizeof buffer); });
    if (n <= 0) {
        m_fd.Reset();
        return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
        if (buffer[i] == '\n') {
            lines.push_back(std::move(m_partial));
            m_partial.clear();
        } else if (m_partial.size() < kMaxLine) {
            m_partial += buffer[i];
        }
    }
    return true;
}

void SlotProcess::Signal(int signo) {
    if (m_pid > 0) {
        kill(m_pid, signo);
    }
}

int SlotProcess::Reap() {
    int status = 0;
    const pid_t pid = m_pid;
    m_pid = -1;
    if (pid <= 0 || RetryOnEintr([&] { return waitpid(pid, &status, 0); }) != pid) {
        return 0;
    }
    return status;
}
