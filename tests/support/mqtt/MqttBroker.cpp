#include "tests/support/mqtt/MqttBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

bool Connectable(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

std::string UserName() {
    const passwd* entry = getpwuid(geteuid());
    return entry != nullptr ? entry->pw_name : "root";
}

}  // namespace

int FreeLocalPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

MqttBroker::MqttBroker(Options options) : m_options(std::move(options)), m_port(FreeLocalPort()) {
    m_config = m_options.folder + "/mosquitto.conf";
    std::ofstream config(m_config);
    config << "listener " << m_port << " 127.0.0.1\n"
           << (m_options.persistent
                   ? "persistence true\npersistence_location " + m_options.folder + "/\n"
                   : std::string("persistence false\n"))
           // Started as root, the broker would turn into the user "mosquitto", who cannot read
           // the test's private folder.
           << "user " << UserName() << "\n"
           << "log_dest stderr\n"
           << "log_type error\nlog_type warning\nlog_type notice\n"
           << "allow_anonymous true\n"
           << (m_options.unboundedQueues ? "max_queued_messages 0\n" : "");
}

MqttBroker::~MqttBroker() {
    Stop();
}

bool MqttBroker::Start() {
    m_process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"/usr/sbin/mosquitto", "-c", m_config});
    for (int i = 0; i < 200; ++i) {
        if (Connectable(m_port)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

void MqttBroker::Stop() {
    if (m_process) {
        m_process->Signal(SIGTERM);
        m_process->Wait();
    }
}

std::string MqttBroker::Url() const {
    return "mqtt://127.0.0.1:" + std::to_string(m_port);
}

std::string MqttBroker::Log() const {
    return m_process ? m_process->Stderr() : std::string();
}
