#include "tests/wx/StavelProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

// Long enough for a slow sanitizer build; only a hung program reaches it.
constexpr auto kHangGuard = std::chrono::seconds(90);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

StavelProcess::StavelProcess() {
    std::string pattern = (std::filesystem::temp_directory_path() / "stavel-wx-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) {
        m_folder = pattern;
    }
}

StavelProcess::~StavelProcess() {
    if (m_in >= 0) {
        close(m_in);
    }
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

void StavelProcess::WriteIni(const std::string& content) {
    std::ofstream(IniPath(), std::ios::binary) << content;
}

std::string StavelProcess::ReadIni() const {
    return ReadFile(IniPath());
}

bool StavelProcess::Start(const std::map<std::string, std::string>& extra) {
    const std::string program = m_folder + "/Stavel_OV";
    std::error_code error;
    std::filesystem::copy_file(STAVEL_BINARY_DIR "/bin/Stavel_OV_testable", program, error);
    std::filesystem::create_directory(m_folder + "/control", error);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (!extra.contains(key) && key != "STAVEL_WX_CONTROL" && key != "ASAN_OPTIONS") {
            env.push_back(entry);
        }
    }
    for (const auto& [key, value] : extra) {
        env.push_back(key + "=" + value);
    }
    env.push_back("STAVEL_WX_CONTROL=" + m_folder + "/control");
    // GTK and GLib keep their caches to the end: no leak check for the toolkit's process.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<char*> envp;
    for (std::string& entry : env) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::vector<std::string> args;
    if (m_runAs) {
        namespace fs = std::filesystem;
        fs::permissions(m_folder, fs::perms::all, error);
        fs::permissions(m_folder + "/control", fs::perms::all, error);
        fs::permissions(IniPath(), fs::perms::all, error);
        args = {"/usr/bin/setpriv", "--reuid=" + std::to_string(m_runAs->first),
                "--regid=" + std::to_string(m_runAs->second), "--clear-groups"};
    }
    args.push_back(program);
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = m_folder + "/output.txt";
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int failed = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 && OpenControl();
}

bool StavelProcess::OpenControl() {
    const std::string fifo = m_folder + "/control/in";
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < end && Running()) {
        m_in = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_in >= 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool StavelProcess::Running() {
    if (m_pid <= 0) {
        return false;
    }
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) != m_pid) {
        return true;
    }
    m_pid = -1;
    m_exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

std::string StavelProcess::Send(const std::string& command) {
    const std::string tag = "t" + std::to_string(m_nextTag++);
    const std::string line = tag + " " + command + "\n";
    [[maybe_unused]] ssize_t written = write(m_in, line.data(), line.size());
    return tag;
}

std::optional<std::string> StavelProcess::Answer(const std::string& tag) {
    const std::string out = m_folder + "/control/out";
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < end) {
        std::istringstream lines(ReadFile(out));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(tag + " ", 0) == 0) {
                return line.substr(tag.size() + 1);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::string StavelProcess::Command(const std::string& command) {
    return Answer(Send(command)).value_or("no answer");
}

std::string StavelProcess::StateField(const std::string& key) {
    const std::string state = Command("state");
    std::istringstream fields(state.substr(state.find(' ') + 1));
    for (std::string field; std::getline(fields, field, '\t');) {
        if (field.rfind(key + "=", 0) == 0) {
            return Unescape(field.substr(key.size() + 1));
        }
    }
    return "<missing " + key + ">";
}

std::optional<int> StavelProcess::WaitForExit() {
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < end) {
        if (!Running()) {
            return m_exit;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'n') {
            out.push_back('\n');
        } else if (next == 'r') {
            out.push_back('\r');
        } else if (next == 'x' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(next);
        }
    }
    return out;
}
