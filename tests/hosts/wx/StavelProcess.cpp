#include "tests/hosts/wx/StavelProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "tools/stbsim/TestImage.h"

namespace {

// Long enough for a slow sanitizer build; only a hung program reaches it.
constexpr auto kHangGuard = std::chrono::seconds(90);

// Polls `done` every 20 ms until it answers true or the hang guard passes.
template <class Done>
bool Await(Done done) {
    const auto end = std::chrono::steady_clock::now() + kHangGuard;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

StavelProcess::~StavelProcess() {
    if (m_in >= 0) {
        close(m_in);
    }
    // The process goes (killed if it still runs) before its folder does.
    m_process.reset();
}

std::vector<std::uint8_t> StavelProcess::SaveImage(const std::string& name, std::size_t size,
                                                   std::string& path) {
    std::vector<std::uint8_t> image = stbsim::MakeTestImage(size);
    path = m_folder.File(name);
    return stbsim::WriteImageFile(path, image) ? image : std::vector<std::uint8_t>{};
}

bool StavelProcess::Start(const std::map<std::string, std::string>& extra) {
    const std::string program = m_folder.File("Stavel_OV");
    const std::string control = m_folder.File("control");
    std::error_code error;
    std::filesystem::copy_file(STAVEL_BINARY_DIR "/bin/Stavel_OV_testable", program, error);
    std::filesystem::create_directory(control, error);
    // GTK and GLib keep their caches to the end: no leak check for the toolkit's process.
    std::vector<std::string> env{"STAVEL_WX_CONTROL=" + control, "ASAN_OPTIONS=detect_leaks=0"};
    for (const auto& [key, value] : extra) {
        env.push_back(key + "=" + value);
    }
    try {
        m_process = std::make_unique<ChildProcess>(std::vector<std::string>{program}, env);
    } catch (const std::exception&) {
        return false;
    }
    const std::string fifo = control + "/in";
    return Await([&] {
               m_in = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
               return m_in >= 0 || !Running();
           }) &&
           m_in >= 0;
}

std::string StavelProcess::Send(const std::string& command) {
    const std::string tag = "t" + std::to_string(m_nextTag++);
    const std::string line = tag + " " + command + "\n";
    [[maybe_unused]] ssize_t written = write(m_in, line.data(), line.size());
    return tag;
}

std::optional<std::string> StavelProcess::Answer(const std::string& tag) {
    std::optional<std::string> answer;
    Await([&] {
        std::istringstream lines(ReadBytes(m_folder.File("control/out")));
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(tag + " ", 0) == 0) {
                answer = line.substr(tag.size() + 1);
            }
        }
        return answer.has_value();
    });
    return answer;
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
    std::optional<ChildProcess::End> ended;
    if (!m_process || !Await([&] { return (ended = m_process->Ended()).has_value(); })) {
        return std::nullopt;
    }
    return ended->exited ? ended->status : 128 + ended->signal;
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

Box PlaceOf(const std::string& places, const std::string& key) {
    std::istringstream in(places);
    for (std::string field; in >> field;) {
        if (field.rfind(key + "=", 0) == 0) {
            Box b;
            char comma = 0;
            std::istringstream(field.substr(key.size() + 1)) >> b.x >> comma >> b.y >> comma >>
                b.w >> comma >> b.h;
            return b;
        }
    }
    return {};
}
