#include "hosts/cli/station/SlotProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/base/Eintr.h"
#include "platform/base/SysResult.h"

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
    if (m_fd >= 0) {
        close(m_fd);
    }
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        Reap();
    }
}

bool SlotProcess::Start(const std::vector<std::string>& args, const std::string& errorPath,
                        std::string& error) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error = DescribeErrno("pipe2", "", errno);
        return false;
    }
    const int errFd = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<std::string> argvText{SelfProgram()};
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
        dup2(nullFd, 0);
        dup2(nullFd, 1);
        dup2(errFd >= 0 ? errFd : nullFd, 2);
        dup2(fds[1], 3);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const int forkErrno = errno;
    close(fds[1]);
    if (errFd >= 0) {
        close(errFd);
    }
    if (nullFd >= 0) {
        close(nullFd);
    }
    if (pid < 0) {
        close(fds[0]);
        error = DescribeErrno("fork", "", forkErrno);
        return false;
    }
    m_pid = pid;
    m_fd = fds[0];
    m_partial.clear();
    return true;
}

bool SlotProcess::Read(std::vector<std::string>& lines) {
    char buffer[4096];
    const ssize_t n = RetryOnEintr([&] { return read(m_fd, buffer, sizeof buffer); });
    if (n <= 0) {
        close(m_fd);
        m_fd = -1;
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
