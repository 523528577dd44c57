#include "tests/hosts/wx/StavelProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "tools/stbsim/TestImage.h"

namespace {

// Long enough for a slow sanitizer build; only a hung program reaches it.
constexpr auto kHangGuard = std::chrono::seconds(90);

}  // namespace

StavelProcess::StavelProcess() = default;

StavelProcess::~StavelProcess() {
    if (m_in >= 0) {
        close(m_in);
    }
    // The process goes (killed if it still runs) before its folder does.
    m_process.reset();
}

void StavelProcess::WriteIni(const std::string& content) {
    WriteBytes(IniPath(), content);
}

std::vector<std::uint8_t> StavelProcess::SaveImage(const std::string& name, std::size_t size,
                                                   std::string& path) {
    std::vector<std::uint8_t> image = stbsim::MakeTestImage(size);
    path = m_folder.File(name);
    return stbsim::WriteImageFile(path, image) ? image : std::vector<std::uint8_t>{};
}

std::string StavelProcess::ReadIni() const {
    return ReadBytes(IniPath());
}

std::string StavelProcess::Output() const {
    return m_process ? m_process->Stdout() + m_process->Stderr() : std::string();
}

bool StavelProcess::Start(const std::map<std::string, std::string>& extra) {
    const std::string program = m_folder.File("Stavel_OV");
    const std::string control = m_folder.File("control");
    std::error_code error;
    std::filesystem::copy_file(STAVEL_BINARY_DIR "/bin/Stavel_OV_testable", program, error);
    std::filesystem::create_directory(control, error);
    std::vector<std::string> env;
    for (const auto& [key, value] : extra) {
        env.push_back(key + "=" + value);
    }
    env.push_back("STAVEL_WX_CONTROL=" + control);
    // GTK and GLib keep their caches to the end: no leak check for the toolkit's process.
    env.push_back("ASAN_OPTIONS=detect_leaks=0");
    std::vector<std::string> args;
    if (m_runAs) {
        namespace fs = std::filesystem;
        fs::permissions(Folder(), fs::perms::all, error);
        fs::permissions(control, fs::perms::all, error);
        fs::permissions(IniPath(), fs::perms::all, error);
        args = {"/usr/bin/setpriv", "--reuid=" + std::to_string(m_runAs->first),
                "--regid=" + std::to_string(m_runAs->second), "--clear-groups"};
    }
    args.push_back(program);
    try {
        m_process = std::make_unique<ChildProcess>(args, env);
    } catch (const std::exception&) {
        return false;
    }
    return OpenControl();
}

bool StavelProcess::OpenControl() {
    const std::string fifo = m_folder.File("control/in");
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
    return m_process && !m_process->Ended();
}

std::string StavelProcess::Send(const std::string& command) {
    const std::string tag = "t" + std::to_string(m_nextTag++);
    const std::string line = tag + " " + command + "\n";
    [[maybe_unused]] ssize_t written = write(m_in, line.data(), line.size());
    return tag;
}

std::optional<std::string> StavelProcess::Answer(const std::string& tag) {
    const std::string out = m_folder.File("control/out");
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < end) {
        std::istringstream lines(ReadBytes(out));
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
    if (!m_process) {
        return std::nullopt;
    }
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < end) {
        if (const auto ended = m_process->Ended()) {
            return ended->exited ? ended->status : 128 + ended->signal;
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
