#include "tests/hosts/wx/testable/ControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "hosts/wx/UiCalls.h"
#include "platform/base/Eintr.h"
#include "tests/hosts/wx/testable/ControlCommands.h"

std::unique_ptr<ControlChannel> ControlChannel::FromEnvironment() {
    const char* folder = std::getenv("STAVEL_WX_CONTROL");
    if (folder == nullptr || *folder == '\0') {
        return nullptr;
    }
    return std::make_unique<ControlChannel>(folder);
}

ControlChannel::ControlChannel(std::string folder) : m_folder(std::move(folder)) {}

ControlChannel::~ControlChannel() {
    Stop();
}

bool ControlChannel::Start() {
    const std::string in = m_folder + "/in";
    if (mkfifo(in.c_str(), 0600) != 0 && errno != EEXIST) {
        std::perror("Stavel_OV: control channel");
        return false;
    }
    // Read and write, so that the FIFO never reports an end when a writer closes it.
    m_in = open(in.c_str(), O_RDWR | O_CLOEXEC);
    m_out = open((m_folder + "/out").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (m_in < 0 || m_out < 0 || pipe2(m_wake, O_CLOEXEC) != 0) {
        std::perror("Stavel_OV: control channel");
        Stop();
        return false;
    }
    m_reader = std::thread([this] { ReadCommands(); });
    return true;
}

void ControlChannel::Stop() {
    if (m_reader.joinable()) {
        const char stop = 'x';
        [[maybe_unused]] ssize_t ignored = write(m_wake[1], &stop, 1);
        m_reader.join();
    }
    for (int* fd : {&m_in, &m_out, &m_wake[0], &m_wake[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

void ControlChannel::ReadCommands() {
    std::string pending;
    char buffer[4096];
    while (true) {
        pollfd fds[2] = {{m_in, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (RetryOnEintr([&] { return poll(fds, 2, -1); }) < 0) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const ssize_t got = RetryOnEintr([&] { return read(m_in, buffer, sizeof buffer); });
        if (got <= 0) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            CallOnUiThread([this, line] { Answer(RunControlCommand(line)); });
        }
    }
}

void ControlChannel::Answer(const std::string& line) {
    const std::string text = line + "\n";
    // One write per answer: O_APPEND keeps answers whole even when commands finish out of order.
    [[maybe_unused]] ssize_t ignored = write(m_out, text.data(), text.size());
}

std::string EscapeForAnswer(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out.push_back(c);
        }
    }
    return out;
}
