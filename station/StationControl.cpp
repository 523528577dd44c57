#include "station/StationControl.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>

#include "download/SlotStatusCodec.h"
#include "platform/base/Eintr.h"
#include "station/Station.h"

namespace {

constexpr std::size_t kMostRequest = 256;
constexpr std::size_t kMostReply = 1 << 20;

bool FillAddress(const std::string& path, sockaddr_un& address) {
    address = sockaddr_un{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connected socket to `path`, or an invalid one with errno set.
UniqueFd Connect(const std::string& path) {
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        errno = ENAMETOOLONG;
        return UniqueFd();
    }
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) {
        return fd;
    }
    if (RetryOnEintr([&] {
            return connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        }) != 0) {
        return UniqueFd();
    }
    return fd;
}

// Reads a line of at most `most` bytes within `ms` a byte; empty when none came whole.
std::string ReadLine(int fd, int ms, std::size_t most) {
    std::string line;
    char ch = 0;
    while (line.size() <= most) {
        pollfd p{fd, POLLIN, 0};
        if (RetryOnEintr([&] { return poll(&p, 1, ms); }) <= 0) {
            return {};
        }
        const ssize_t n = RetryOnEintr([&] { return read(fd, &ch, 1); });
        if (n <= 0) {
            return {};
        }
        if (ch == '\n') {
            return line;
        }
        line += ch;
    }
    return {};
}

void WriteLine(int fd, const std::string& line) {
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = RetryOnEintr(
            [&] { return send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL); });
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string ControlFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' ? std::string(runtime) + "/stavel"
                                                  : std::string("/run/stavel");
}

std::string ControlSocketPath(const std::string& name) {
    // A station's name names a file here.
    if (name.empty() || name.size() > 64 || name.front() == '.') {
        return {};
    }
    for (const char ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '.' && ch != '-') {
            return {};
        }
    }
    return ControlFolder() + "/" + name + ".sock";
}

StationControl::~StationControl() {
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(m_quit.Get(), &one, sizeof one);
        m_thread.join();
    }
    if (m_listen) {
        unlink(m_path.c_str());
    }
}

Result<void> StationControl::Open(const std::string& name, Station& station, bool& running) {
    running = false;
    m_path = ControlSocketPath(name);
    if (m_path.empty()) {
        return Refusal(name, "a station's name names its control socket: letters, digits, _ . -");
    }
    const std::string folder = ControlFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return ErrnoFailure("mkdir", folder, errno);
    }
    if (Connect(m_path)) {
        running = true;
        return Refusal(m_path, "another station of this name is running on this PC");
    }
    unlink(m_path.c_str());  // left by a station that was killed: nothing answers on it
    sockaddr_un address;
    if (!FillAddress(m_path, address)) {
        return Refusal(m_path, "the path is too long for a socket");
    }
    UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener) {
        return ErrnoFailure("socket", m_path, errno);
    }
    // Only this user from the first moment: the socket is made under a umask that leaves no one
    // else a bit, and the folder is this user's alone.
    const mode_t before = umask(0177);
    const int bound =
        bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    umask(before);
    if (bound != 0) {
        return ErrnoFailure("bind", m_path, error);
    }
    chmod(m_path.c_str(), 0600);
    if (listen(listener.Get(), 8) != 0) {
        const int err = errno;
        unlink(m_path.c_str());
        return ErrnoFailure("listen", m_path, err);
    }
    m_listen = std::move(listener);
    m_quit.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    m_station = &station;
    m_thread = std::thread([this] { Serve(); });
    return {};
}

void StationControl::OnSlots(const std::vector<SlotStatus>& slots) {
    std::lock_guard lock(m_lock);
    m_slots = slots;
}

std::string StationControl::Answer(const std::string& request) {
    const std::size_t space = request.find(' ');
    const std::string verb = request.substr(0, space);
    const std::string slot = space == std::string::npos ? std::string() : request.substr(space + 1);
    if (verb == "status" && slot.empty()) {
        Json all = Json::array();
        std::lock_guard lock(m_lock);
        for (const SlotStatus& status : m_slots) {
            Json one = Json{{"slot", JsonText(status.slot)}};
            one.update(SlotStatusJson(status));
            all.push_back(std::move(one));
        }
        return JsonLine(all);
    }
    if (verb == "finish" && slot.empty()) {
        m_station->AskFinish();
        return "ok";
    }
    if ((verb == "put-back" || verb == "take-out" || verb == "reprint") && !slot.empty()) {
        const bool known = verb == "put-back"   ? m_station->AskPutBack(slot)
                           : verb == "take-out" ? m_station->AskTakeOut(slot)
                                                : m_station->AskReprint(slot);
        return known ? "ok" : "error: the station has no slot " + slot;
    }
    if (verb == "put-back" || verb == "take-out" || verb == "reprint") {
        return "error: " + verb + " names a slot (" + verb + " A3)";
    }
    if (verb == "scan") {
        // Answered once the station has taken it, within a bound: the supervisor may be busy.
        auto answer = std::make_shared<std::promise<ScanNews>>();
        std::future<ScanNews> news = answer->get_future();
        m_station->AskScan(slot, [answer](const ScanNews& n) { answer->set_value(n); });
        if (news.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            return "error: the station did not take the scan within 5 s";
        }
        const ScanNews told = news.get();
        return told.refused ? "error: " + told.text : told.text;
    }
    return "error: unknown command '" + request +
           "'; a station knows put-back SLOT, take-out SLOT, scan [SLOT] ID, reprint SLOT, finish "
           "and status";
}

void StationControl::Serve() {
    for (;;) {
        pollfd fds[2] = {{m_listen.Get(), POLLIN, 0}, {m_quit.Get(), POLLIN, 0}};
        if (RetryOnEintr([&] { return poll(fds, 2, -1); }) < 0 || (fds[1].revents & POLLIN)) {
            return;
        }
        UniqueFd client(accept4(m_listen.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            continue;
        }
        const std::string request = ReadLine(client.Get(), 1000, kMostRequest);
        WriteLine(client.Get(), request.empty() ? "error: no request line" : Answer(request));
    }
}

Result<std::string> AskStation(const std::string& name, const std::string& request) {
    const std::string path = ControlSocketPath(name);
    if (path.empty()) {
        return Refusal(name, "no station can have this name: letters, digits, _ . -");
    }
    UniqueFd fd = Connect(path);
    // A station run as a service listens in /run/stavel whatever the asking user's session has.
    if (const std::string service = "/run/stavel/" + name + ".sock"; !fd && service != path) {
        fd = Connect(service);
    }
    if (!fd) {
        return Refusal(name,
                       "no station of this name is running (nothing answers on " + path + ")");
    }
    WriteLine(fd.Get(), request);
    const std::string reply = ReadLine(fd.Get(), 5000, kMostReply);
    if (reply.empty()) {
        return Refusal(name, "the station did not answer");
    }
    return reply;
}
