#include "label/LabelPrinter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/base/UniqueFd.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kPrinterForms =
    "printer takes \"tcp://HOST:PORT\", \"cups:QUEUE\" or \"dir:FOLDER\"";

int MillisLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, left));
}

// Waits for `events` on `fd` until the deadline; false when the time ran out.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, MillisLeft(deadline));
        if (ready > 0) {
            return true;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// Writes all of `bytes` to the non-blocking `fd` before the deadline.
Result<void> WriteAll(int fd, const std::string& bytes, Clock::time_point deadline,
                      const std::string& to) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = write(fd, bytes.data() + done, bytes.size() - done);
            if (w >= 0) {
                done += static_cast<std::size_t>(w);
                continue;
            }
        } else if (n >= 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return ErrnoFailure("write", to, errno);
        }
        if (!WaitFor(fd, POLLOUT, deadline)) {
            return Refusal(to, "the printer took no more within the bound");
        }
    }
    return {};
}

Result<void> SendTcp(const LabelPrinter& p, const std::string& label, Clock::time_point deadline) {
    const std::string to = p.host + ":" + p.port;
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (const int error = getaddrinfo(p.host.c_str(), p.port.c_str(), &hints, &found); error != 0) {
        return Refusal(to, gai_strerror(error));
    }
    std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, freeaddrinfo);
    SysFailure last = Refusal(to, "no address");
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        UniqueFd fd(
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) {
            last = ErrnoFailure("socket", to, errno);
            continue;
        }
        if (connect(fd.Get(), a->ai_addr, a->ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                last = ErrnoFailure("connect", to, errno);
                continue;
            }
            if (!WaitFor(fd.Get(), POLLOUT, deadline)) {
                last = Refusal(to, "the printer did not answer within the bound");
                continue;
            }
            int error = 0;
            socklen_t size = sizeof error;
            getsockopt(fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size);
            if (error != 0) {
                last = ErrnoFailure("connect", to, error);
                continue;
            }
        }
        return WriteAll(fd.Get(), label, deadline, to);
    }
    return last;
}

// lp straight from its argv; its output is not read, its status says whether it took the label.
Result<void> SendCups(const LabelPrinter& p, const std::string& label, Clock::time_point deadline) {
    const std::string to = "lp -d " + p.queue;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return ErrnoFailure("pipe", to, errno);
    }
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, readEnd.Get(), STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string program = "lp";
    std::string d = "-d";
    std::string queue = p.queue;
    std::string o = "-o";
    std::string raw = "raw";
    char* argv[] = {program.data(), d.data(), queue.data(), o.data(), raw.data(), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, "lp", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return ErrnoFailure("spawn", to, spawned);
    }
    readEnd = UniqueFd();
    fcntl(writeEnd.Get(), F_SETFL, O_NONBLOCK);
    Result<void> written = WriteAll(writeEnd.Get(), label, deadline, to);
    writeEnd = UniqueFd();
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) {
            break;
        }
        if (Clock::now() >= deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return Refusal(to, "lp did not end within the bound");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!written) {
        return written;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Refusal(to, WIFEXITED(status)
                               ? "lp ended with status " + std::to_string(WEXITSTATUS(status))
                               : std::string("lp was killed"));
    }
    return {};
}

// Whole or not at all: a label file appears under its name only once written.
Result<void> SendDir(const LabelPrinter& p, const std::string& label, const std::string& id) {
    // Made when missing, as a folder of logs is.
    std::error_code made;
    std::filesystem::create_directories(p.dir, made);
    const std::filesystem::path file = std::filesystem::path(p.dir) / (id + ".zpl");
    const std::string partial = file.string() + ".part";
    UniqueFd fd(open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) {
        return ErrnoFailure("open", partial, errno);
    }
    std::size_t done = 0;
    while (done < label.size()) {
        const ssize_t n = write(fd.Get(), label.data() + done, label.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            unlink(partial.c_str());
            return ErrnoFailure("write", partial, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd.Get()) != 0 || std::rename(partial.c_str(), file.c_str()) != 0) {
        const int error = errno;
        unlink(partial.c_str());
        return ErrnoFailure("rename", file.string(), error);
    }
    return {};
}

bool IsQueueName(const std::string& queue) {
    // CUPS queue names; never an option of lp's.
    return !queue.empty() && queue.size() <= 127 && queue.front() != '-' &&
           std::all_of(queue.begin(), queue.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '_' || c == '-' || c == '.' || c == '@';
           });
}

}  // namespace

Result<LabelPrinter> ParseLabelPrinter(const std::string& text,
                                       const std::filesystem::path& folder) {
    LabelPrinter p;
    if (text.starts_with("tcp://")) {
        const std::string rest = text.substr(6);
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string::npos || colon == 0) {
            return Refusal(text, std::string(kPrinterForms) + " (a raw port is usually 9100)");
        }
        p.host = rest.substr(0, colon);
        p.port = rest.substr(colon + 1);
        if (p.host.size() > 2 && p.host.front() == '[' && p.host.back() == ']') {
            p.host = p.host.substr(1, p.host.size() - 2);
        }
        const bool digits = !p.port.empty() && p.port.size() <= 5 &&
                            std::all_of(p.port.begin(), p.port.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
        if (!digits || std::stoi(p.port) < 1 || std::stoi(p.port) > 65535 ||
            p.host.find_first_of("/ ") != std::string::npos) {
            return Refusal(text, std::string(kPrinterForms) + ", a PORT from 1 to 65535");
        }
        p.kind = LabelPrinter::Kind::Tcp;
        return p;
    }
    if (text.starts_with("cups:")) {
        p.queue = text.substr(5);
        if (!IsQueueName(p.queue)) {
            return Refusal(text, std::string(kPrinterForms) +
                                     ", a QUEUE of A-Z a-z 0-9 _ - . @ not starting with -");
        }
        p.kind = LabelPrinter::Kind::Cups;
        return p;
    }
    if (text.starts_with("dir:") && text.size() > 4) {
        p.dir = (folder / text.substr(4)).lexically_normal().string();
        p.kind = LabelPrinter::Kind::Dir;
        return p;
    }
    return Refusal(text, kPrinterForms);
}

std::string LabelPrinterText(const LabelPrinter& p) {
    switch (p.kind) {
        case LabelPrinter::Kind::Tcp:
            return "tcp://" +
                   (p.host.find(':') != std::string::npos ? "[" + p.host + "]" : p.host) + ":" +
                   p.port;
        case LabelPrinter::Kind::Cups:
            return "cups:" + p.queue;
        case LabelPrinter::Kind::Dir:
            return "dir:" + p.dir;
    }
    return {};
}

Result<void> SendLabel(const LabelPrinter& printer, const std::string& label, const std::string& id,
                       std::chrono::milliseconds bound) {
    const Clock::time_point deadline = Clock::now() + bound;
    switch (printer.kind) {
        case LabelPrinter::Kind::Tcp:
            return SendTcp(printer, label, deadline);
        case LabelPrinter::Kind::Cups:
            return SendCups(printer, label, deadline);
        case LabelPrinter::Kind::Dir:
            return SendDir(printer, label, id);
    }
    return Refusal("label", "no printer");
}
