#include "station/SlotProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <fstream>
#include <thread>

#include "platform/base/Eintr.h"
#include "slot/SlotChannel.h"

namespace {

// A process whose channel closed has this long to end by itself before it is killed.
constexpr auto kCloseGrace = std::chrono::seconds(2);

// The slot processes alive, for KillSlotProcesses; a station has far fewer slots.
std::array<std::atomic<pid_t>, 512> g_live{};

void Register(pid_t pid) {
    for (std::atomic<pid_t>& entry : g_live) {
        pid_t none = 0;
        if (entry.compare_exchange_strong(none, pid)) {
            return;
        }
    }
}

void Unregister(pid_t pid) {
    for (std::atomic<pid_t>& entry : g_live) {
        pid_t held = pid;
        if (entry.compare_exchange_strong(held, 0)) {
            return;
        }
    }
}

std::string LastLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        last = line.empty() ? last : line;
    }
    return last;
}

}  // namespace

void KillSlotProcesses() {
    for (std::atomic<pid_t>& entry : g_live) {
        if (const pid_t pid = entry.load(); pid > 0) {
            kill(pid, SIGKILL);
        }
    }
    // Dead, whoever reaps them: a zombie is no child serving a box.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (std::atomic<pid_t>& entry : g_live) {
        const pid_t pid = entry.load();
        while (pid > 0 && std::chrono::steady_clock::now() < until) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                info.si_pid == pid) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

const std::string& SelfProgram() {
    static const std::string path = [] {
        char buffer[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("stavel");
    }();
    return path;
}

class ProcessTransport::Process final : public SlotPeer {
  public:
    Process(ProcessTransport& transport, std::size_t slot, pid_t pid, UniqueFd channel,
            std::string errorFile)
        : m_transport(transport),
          m_slot(slot),
          m_pid(pid),
          m_channel(std::move(channel)),
          m_pidFd(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))),
          m_errorFile(std::move(errorFile)),
          m_started(pid) {
        m_transport.m_live.push_back(this);
        Register(pid);
    }

    ~Process() override {
        std::erase(m_transport.m_live, this);
        m_channel.Reset();
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            Reap();
        }
    }

    void Send(const Json& message) override {
        if (!m_channel) {
            return;
        }
        // A few small frames at a time: a socket that will not take one belongs to a slot that
        // does not read, which the watchdog or the stop bound deals with.
        const std::string frame = FrameOf(message);
        [[maybe_unused]] const ssize_t n = RetryOnEintr(
            [&] { return send(m_channel.Get(), frame.data(), frame.size(), MSG_NOSIGNAL); });
    }

    void Kill() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
        }
    }

    long Pid() const override { return m_started; }

    // What this process asks of the next poll: its channel while open, its end until heard.
    void Watch(std::vector<pollfd>& fds) const {
        if (m_channel) {
            fds.push_back({m_channel.Get(), POLLIN, 0});
        }
        if (m_pidFd) {
            fds.push_back({m_pidFd.Get(), POLLIN, 0});
        }
    }

    // After a poll: reads what the channel holds; hears the end when the process is gone.
    void Serve(bool ready, Ears& ears) {
        if (ready && m_channel) {
            Read(ears);
        }
        const bool exited = m_pidFd ? ready && Exited() : !m_channel;
        if (exited) {
            End(ears);
        } else if (!m_channel && !m_killed &&
                   std::chrono::steady_clock::now() - m_closedAt > kCloseGrace) {
            m_killed = true;
            Kill();
        }
    }

  private:
    bool Exited() const {
        pollfd fd{m_pidFd.Get(), POLLIN, 0};
        return poll(&fd, 1, 0) > 0;
    }

    void Read(Ears& ears) {
        char buffer[16384];
        for (;;) {
            const ssize_t n =
                RetryOnEintr([&] { return read(m_channel.Get(), buffer, sizeof buffer); });
            if (n < 0 && errno == EAGAIN) {
                return;
            }
            if (n > 0) {
                m_frames.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
                while (std::optional<Json> frame = m_frames.Next()) {
                    ears.OnFrame(m_slot, frame);
                }
            }
            if (m_frames.Broken()) {
                ears.OnFrame(m_slot, std::nullopt);
            }
            if (n <= 0 || m_frames.Broken()) {
                m_channel.Reset();
                m_closedAt = std::chrono::steady_clock::now();
                return;
            }
        }
    }

    void End(Ears& ears) {
        if (m_channel) {
            Read(ears);  // the process is gone: what it wrote is all there
        }
        std::erase(m_transport.m_live, this);
        const int status = Reap();
        SlotExit exit;
        exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        exit.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
        if (exit.status > 0) {
            exit.lastWords = LastLineOf(m_errorFile);
        }
        m_pidFd.Reset();
        ears.OnExit(m_slot, exit);
    }

    int Reap() {
        int status = 0;
        const pid_t pid = std::exchange(m_pid, -1);
        if (pid <= 0) {
            return 0;
        }
        // Dead or killed already: once reaped, its id may name another process.
        Unregister(pid);
        return RetryOnEintr([&] { return waitpid(pid, &status, 0); }) == pid ? status : 0;
    }

    ProcessTransport& m_transport;
    std::size_t m_slot;
    pid_t m_pid;
    UniqueFd m_channel;
    UniqueFd m_pidFd;
    std::string m_errorFile;
    FrameReader m_frames;
    std::chrono::steady_clock::time_point m_closedAt{};
    bool m_killed = false;
    pid_t m_started;  // its id, also once reaped: its hidden files are named by it
};

ProcessTransport::ProcessTransport(std::string program)
    : m_program(std::move(program)),
      // Made before any other thread can ask the station to stop.
      m_wake(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_wakeError(errno) {}

ProcessTransport::~ProcessTransport() = default;

Result<void> ProcessTransport::Made() const {
    if (!m_wake) {
        return ErrnoFailure("eventfd", "", m_wakeError);
    }
    return {};
}

void ProcessTransport::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(m_wake.Get(), &one, sizeof one);
}

Result<std::unique_ptr<SlotPeer>> ProcessTransport::Start(std::size_t slot,
                                                          const std::string& errorFile) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        return ErrnoFailure("socketpair", "", errno);
    }
    UniqueFd ours(pair[0]);
    UniqueFd theirs(pair[1]);
    const UniqueFd errFd(open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    const UniqueFd nullFd(open("/dev/null", O_RDWR | O_CLOEXEC));
    // Everything the child needs is made before the fork: after it, only system calls.
    std::vector<std::string> argvText{m_program.empty() ? SelfProgram() : m_program,
                                      "--slot-channel", "3"};
    std::vector<char*> argv;
    for (std::string& arg : argvText) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);  // the station is gone already
        }
        dup2(nullFd.Get(), 0);
        dup2(nullFd.Get(), 1);
        dup2(errFd ? errFd.Get() : nullFd.Get(), 2);
        dup2(theirs.Get(), 3);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        return ErrnoFailure("fork", "", errno);
    }
    fcntl(ours.Get(), F_SETFL, fcntl(ours.Get(), F_GETFL) | O_NONBLOCK);
    return std::unique_ptr<SlotPeer>(
        std::make_unique<Process>(*this, slot, pid, std::move(ours), errorFile));
}

void ProcessTransport::Wait(std::chrono::milliseconds bound, Ears& ears) {
    std::vector<pollfd> fds{{m_wake.Get(), POLLIN, 0}};
    struct Watched {
        Process* process;
        std::size_t first;  // its descriptors in `fds`
        std::size_t end;
    };
    std::vector<Watched> watched;
    for (Process* process : m_live) {
        const std::size_t first = fds.size();
        process->Watch(fds);
        watched.push_back({process, first, fds.size()});
    }
    const int ready =
        RetryOnEintr([&] { return poll(fds.data(), fds.size(), static_cast<int>(bound.count())); });
    if (ready > 0 && fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = read(m_wake.Get(), &count, sizeof count);
    }
    for (const Watched& w : watched) {
        bool woke = false;
        for (std::size_t i = w.first; i < w.end; ++i) {
            woke = woke || (ready > 0 && fds[i].revents != 0);
        }
        // One told ended by what another told is passed over.
        if (std::find(m_live.begin(), m_live.end(), w.process) != m_live.end()) {
            w.process->Serve(woke, ears);
        }
    }
}
