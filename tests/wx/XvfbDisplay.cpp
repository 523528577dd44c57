// A display for the window tests: the one in DISPLAY, or an Xvfb server of their own that is
// started before the first test and stopped after the last.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace {

class XvfbDisplay : public testing::Environment {
  public:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display != nullptr && *display != '\0') {
            return;
        }
        for (int number = 90 + getpid() % 50; number < 200 && m_pid <= 0; ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            if (std::filesystem::exists(socket) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
                continue;
            }
            Start(number, socket);
        }
    }

    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

  private:
    void Start(int number, const std::string& socket) {
        const std::string name = ":" + std::to_string(number);
        std::string args[] = {"Xvfb", name, "-nolisten", "tcp", "-screen", "0", "1280x1024x24"};
        char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                        args[4].data(), args[5].data(), args[6].data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int failed = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) {
            return;
        }
        // The server is ready once its socket exists; one that exits lost the race for the
        // number to another server.
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) {
                return;
            }
            if (std::filesystem::exists(socket)) {
                m_pid = pid;
                setenv("DISPLAY", name.c_str(), 1);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    pid_t m_pid = -1;
};

[[maybe_unused]] testing::Environment* const g_display =
    testing::AddGlobalTestEnvironment(new XvfbDisplay);

}  // namespace
