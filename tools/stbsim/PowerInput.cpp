#include "tools/stbsim/PowerInput.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base/Eintr.h"

Result<std::unique_ptr<PowerInput>> PowerInput::Open(const std::string& path, StopSignal& cut,
                                                     Log log) {
    unlink(path.c_str());
    if (mkfifo(path.c_str(), 0600) != 0) {
        return ErrnoFailure("mkfifo", path, errno);
    }
    // Read and write: the FIFO then never reads as ended between two writers, and opening it
    // does not wait for the first.
    UniqueFd fifo(
        RetryOnEintr([&] { return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }));
    if (!fifo) {
        const int error = errno;
        unlink(path.c_str());
        return ErrnoFailure("open", path, error);
    }
    return std::unique_ptr<PowerInput>(new PowerInput(std::move(fifo), path, cut, std::move(log)));
}

PowerInput::PowerInput(UniqueFd fifo, std::string path, StopSignal& cut, Log log)
    : m_hFifo(std::move(fifo)), m_strPath(std::move(path)), m_cut(cut), m_log(std::move(log)) {
    m_reader = std::thread([this] { ReadLoop(); });
}

PowerInput::~PowerInput() {
    m_quit.Raise();
    m_reader.join();
    unlink(m_strPath.c_str());
}

void PowerInput::ReadLoop() {
    std::string pending;
    while (!m_quit.Raised()) {
        pollfd fds[2] = {{m_hFifo.Get(), POLLIN, 0}, {m_quit.Fd(), POLLIN, 0}};
        if (RetryOnEintr([&] { return poll(fds, 2, -1); }) < 0) {
            return;
        }
        char buffer[256];
        const ssize_t n = read(m_hFifo.Get(), buffer, sizeof buffer);
        if (n <= 0) {
            continue;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            Apply(pending.substr(0, end));
            pending.erase(0, end + 1);
        }
        if (pending.size() > 64) {
            Apply(pending);  // no line break in sight: say so rather than grow
            pending.clear();
        }
    }
}

void PowerInput::Apply(const std::string& line) {
    std::string word = line;
    while (!word.empty() && (word.back() == '\r' || word.back() == ' ')) {
        word.pop_back();
    }
    if (word != "on" && word != "off") {
        if (m_log) {
            m_log("power input: '" + word + "' is neither on nor off; ignored");
        }
        return;
    }
    const bool on = word == "on";
    if (m_bOn.exchange(on, std::memory_order_acq_rel) == on) {
        return;  // a switch already in that position
    }
    if (!on) {
        m_nOffs.fetch_add(1, std::memory_order_acq_rel);
        m_cut.Raise();
    }
    if (m_log) {
        m_log(on ? "power on" : "power off");
    }
    m_changed.Raise();
}

bool PowerInput::AwaitOn(const StopSignal& stop) {
    return AwaitChange([this] { return On(); }, stop);
}

bool PowerInput::AwaitOffAfter(uint64_t offs, const StopSignal& stop) {
    return AwaitChange([this, offs] { return Offs() > offs; }, stop);
}

template <typename Done>
bool PowerInput::AwaitChange(Done done, const StopSignal& stop) {
    for (;;) {
        m_changed.Clear();
        if (done()) {
            return true;
        }
        if (stop.Raised()) {
            return false;
        }
        pollfd fds[2] = {{m_changed.Fd(), POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
        RetryOnEintr([&] { return poll(fds, 2, -1); });
    }
}
