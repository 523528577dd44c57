#include "hosts/cli/ScanLines.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/base/Eintr.h"
#include "station/ScanDesk.h"
#include "station/Station.h"

namespace {

// Enough for any scan and its slot's name; the rest of a longer line is dropped.
constexpr std::size_t kLineBytes = 4 * ScanDesk::kMostChars + 64;

}  // namespace

ScanLines::~ScanLines() {
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = write(m_quit.Get(), &one, sizeof one);
        m_thread.join();
    }
}

bool ScanLines::Readable() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) {
        return false;
    }
    return S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || isatty(STDIN_FILENO) == 1;
}

void ScanLines::Start(Station& station) {
    m_quit.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_thread = std::thread([this, &station] { Read(station); });
}

void ScanLines::Read(Station& station) {
    std::string line;
    char buffer[512];
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_quit.Get(), POLLIN, 0}};
        if (RetryOnEintr([&] { return poll(fds, 2, -1); }) < 0 || (fds[1].revents & POLLIN)) {
            return;
        }
        const ssize_t n = RetryOnEintr([&] { return read(STDIN_FILENO, buffer, sizeof buffer); });
        if (n <= 0) {
            // The end of the input: a last line without its break is still a scan.
            if (!line.empty()) {
                station.AskScan(line);
            }
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                station.AskScan(line);
                line.clear();
            } else if (line.size() < kLineBytes) {
                line += c;  // past it, too long to be a scan: the station refuses what is kept
            }
        }
    }
}
