#pragma once

// A label printer's raw port on the loopback: it takes every connection, each read to its end as
// one label, until the test asks for the labels; from then on the port is closed, as a printer
// switched off. Labels already sent but not yet read when asked are still taken, so a label too
// many shows as one.
//
// Threading rules: one thread of its own serves the port; the labels are read only after it
// ended.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <fcntl.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/base/Eintr.h"
#include "platform/base/UniqueFd.h"

class RawPort {
  public:
    RawPort() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int ends[2] = {-1, -1};
        if (bind(m_fd.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
            listen(m_fd.Get(), 8) != 0 || pipe2(ends, O_CLOEXEC) != 0) {
            return;  // Port() stays 0: nothing listens
        }
        m_stopRead = UniqueFd(ends[0]);
        m_stopWrite = UniqueFd(ends[1]);
        socklen_t size = sizeof at;
        getsockname(m_fd.Get(), reinterpret_cast<sockaddr*>(&at), &size);
        m_port = ntohs(at.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~RawPort() { Close(); }
    RawPort(const RawPort&) = delete;
    RawPort& operator=(const RawPort&) = delete;

    // 0 when the port could not be opened.
    int Port() const { return m_port; }

    // Every label taken, in the order they came; the port is closed from then on.
    std::vector<std::string> Labels() {
        Close();
        return m_labels;
    }

  private:
    void Serve() {
        for (;;) {
            pollfd ready[2] = {{m_fd.Get(), POLLIN, 0}, {m_stopRead.Get(), POLLIN, 0}};
            if (RetryOnEintr([&] { return poll(ready, 2, -1); }) < 0) {
                return;
            }
            // A connection waiting is taken before the stop is heeded.
            if ((ready[0].revents & POLLIN) != 0) {
                Take();
            } else if (ready[1].revents != 0) {
                return;
            }
        }
    }

    void Take() {
        const UniqueFd client(accept4(m_fd.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            return;
        }
        // A sender that never closes ends its label here rather than holding the test up.
        const timeval patience{30, 0};
        setsockopt(client.Get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        std::string label;
        char buffer[4096];
        for (ssize_t n;
             (n = RetryOnEintr([&] { return read(client.Get(), buffer, sizeof buffer); })) > 0;) {
            label.append(buffer, static_cast<std::size_t>(n));
        }
        m_labels.push_back(std::move(label));
    }

    void Close() {
        if (m_thread.joinable()) {
            const char stop = 's';
            (void)!write(m_stopWrite.Get(), &stop, 1);
            m_thread.join();
        }
        m_fd = UniqueFd();
    }

    UniqueFd m_fd;
    UniqueFd m_stopRead;
    UniqueFd m_stopWrite;
    int m_port = 0;
    std::thread m_thread;
    std::vector<std::string> m_labels;
};
