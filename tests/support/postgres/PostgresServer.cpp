#include "tests/support/postgres/PostgresServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The newest PostgreSQL the package installed: /usr/lib/postgresql/15/bin.
std::string BinFolder() {
    std::error_code error;
    std::string best;
    int bestVersion = 0;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", error)) {
        const std::string name = entry.path().filename().string();
        const int version = std::atoi(name.c_str());
        if (version > bestVersion && fs::exists(entry.path() / "bin" / "postgres") &&
            fs::exists(entry.path() / "bin" / "initdb")) {
            bestVersion = version;
            best = (entry.path() / "bin").string();
        }
    }
    return best;
}

int FreePort() {
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

// As root, the server's programs run as nobody.
std::vector<std::string> AsServerUser(std::vector<std::string> argv) {
    if (geteuid() != 0) {
        return argv;
    }
    const passwd* nobody = getpwnam("nobody");
    const std::string uid = std::to_string(nobody != nullptr ? nobody->pw_uid : 65534);
    const std::string gid = std::to_string(nobody != nullptr ? nobody->pw_gid : 65534);
    std::vector<std::string> wrapped{"/usr/bin/setpriv", "--reuid=" + uid, "--regid=" + gid,
                                     "--clear-groups"};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

void GiveToServerUser(const std::string& path) {
    if (geteuid() != 0) {
        return;
    }
    const passwd* nobody = getpwnam("nobody");
    if (nobody != nullptr) {
        (void)!chown(path.c_str(), nobody->pw_uid, nobody->pw_gid);
    }
}

// Runs a program to its end; its output when it failed, else "".
std::string RunToEnd(const std::vector<std::string>& argv) {
    ChildProcess child(argv);
    const ChildProcess::End end = child.Wait(std::chrono::seconds(120));
    if (end.exited && end.status == 0) {
        return {};
    }
    return argv.front() + " failed: " + child.Stdout() + child.Stderr();
}

// The cluster initdb makes, once per machine and version: later servers copy it.
std::string Template(const std::string& bin, std::string& why) {
    const std::string base =
        (fs::temp_directory_path() /
         ("stavel-postgres-template-" + fs::path(bin).parent_path().filename().string()))
            .string();
    const std::string data = base + "/data";
    fs::create_directories(base);
    ::chmod(base.c_str(), 0755);
    const int lock = open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    flock(lock, LOCK_EX);  // another test binary making it: wait for it
    if (!fs::exists(data + "/PG_VERSION")) {
        std::error_code ignored;
        fs::remove_all(data + ".new", ignored);
        const std::string made = data + ".new";
        fs::create_directories(made);
        GiveToServerUser(made);
        why =
            RunToEnd(AsServerUser({bin + "/initdb", "-D", made, "-U", "stavel", "--auth=trust",
                                   "-E", "UTF8", "--locale=C", "--no-sync", "--no-instructions"}));
        if (why.empty()) {
            fs::rename(made, data);
        }
    }
    close(lock);
    return data;
}

}  // namespace

std::string PostgresServer::Missing() {
    return BinFolder().empty() ? "PostgreSQL is not installed (Debian's postgresql package; "
                                 "scripts/install-deps.sh installs it)"
                               : "";
}

PostgresServer::PostgresServer(bool durable) : m_durable(durable) {
    std::string pattern = (fs::temp_directory_path() / "stavel-postgres-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        m_folder = pattern;
        ::chmod(m_folder.c_str(), 0755);
    }
}

PostgresServer::~PostgresServer() {
    Stop();
    std::error_code ignored;
    if (!m_folder.empty()) {
        fs::remove_all(m_folder, ignored);
    }
}

bool PostgresServer::Start() {
    const std::string bin = BinFolder();
    if (bin.empty() || m_folder.empty()) {
        m_log = bin.empty() ? Missing() : "no temporary folder";
        return false;
    }
    const std::string data = m_folder + "/data";
    if (!fs::exists(data)) {
        std::string why;
        const std::string cluster = Template(bin, why);
        if (!why.empty()) {
            m_log = why;
            return false;
        }
        // cp keeps the owner and the modes PostgreSQL insists on.
        if (std::string copied = RunToEnd({"/bin/cp", "-a", cluster, data}); !copied.empty()) {
            m_log = copied;
            return false;
        }
        GiveToServerUser(m_folder);
        m_port = FreePort();
    }
    std::vector<std::string> argv{bin + "/postgres",
                                  "-D",
                                  data,
                                  "-p",
                                  std::to_string(m_port),
                                  "-k",
                                  m_folder,
                                  "-c",
                                  "listen_addresses=127.0.0.1",
                                  "-c",
                                  "max_connections=50"};
    if (!m_durable) {
        for (const char* setting :
             {"fsync=off", "synchronous_commit=off", "full_page_writes=off"}) {
            argv.insert(argv.end(), {"-c", setting});
        }
    }
    m_process = std::make_unique<ChildProcess>(AsServerUser(argv));
    const std::string info = "host=127.0.0.1 port=" + std::to_string(m_port) +
                             " user=stavel dbname=postgres connect_timeout=2";
    for (int i = 0; i < 400; ++i) {
        if (PQping(info.c_str()) == PQPING_OK) {
            return true;
        }
        if (m_process->Ended()) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    m_log = m_process->Stderr();
    return false;
}

void PostgresServer::Stop() {
    if (m_process) {
        m_process->Signal(SIGINT);
        m_process->Wait();
        m_log = m_process->Stderr();
        m_process.reset();
    }
}

std::string PostgresServer::Url(const std::string& database) const {
    return "postgresql://stavel@127.0.0.1:" + std::to_string(m_port) + "/" + database;
}

std::string PostgresServer::NewDatabase() {
    const std::string name = "test" + std::to_string(++m_databases);
    PGconn* conn = PQconnectdb(
        ("host=127.0.0.1 port=" + std::to_string(m_port) + " user=stavel dbname=postgres").c_str());
    PGresult* made = PQexec(conn, ("CREATE DATABASE " + name).c_str());
    const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
    if (!ok) {
        m_log = PQresultErrorMessage(made);
    }
    PQclear(made);
    PQfinish(conn);
    return ok ? Url(name) : std::string();
}

std::string PostgresServer::Log() const {
    return m_process ? m_process->Stderr() : m_log;
}

PostgresServer* PostgresServer::Shared(std::string& why) {
    static std::string reason;
    static std::unique_ptr<PostgresServer> server = [] {
        if (std::string missing = Missing(); !missing.empty()) {
            reason = missing;
            return std::unique_ptr<PostgresServer>();
        }
        auto started = std::make_unique<PostgresServer>();
        if (!started->Start()) {
            reason = "PostgreSQL did not start: " + started->Log();
            return std::unique_ptr<PostgresServer>();
        }
        return started;
    }();
    why = reason;
    return server.get();
}
