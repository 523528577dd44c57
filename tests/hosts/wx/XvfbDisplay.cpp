// A display for the window tests: the one in DISPLAY, or an Xvfb server of their own that is
// started before the first test and stopped after the last, with a screen that holds the window
// at 1600 x 1000.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/process/ChildProcess.h"

namespace {

class XvfbDisplay : public testing::Environment {
  public:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (display != nullptr && *display != '\0') {
            return;
        }
        for (int number = 90 + getpid() % 50; number < 200 && !m_server; ++number) {
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
            if (std::filesystem::exists(socket) ||
                std::filesystem::exists("/tmp/.X" + std::to_string(number) + "-lock")) {
                continue;
            }
            Start(number, socket);
        }
    }

    void TearDown() override {
        if (m_server) {
            // Asked, not killed, so that the server removes its lock file and socket.
            m_server->Signal(SIGTERM);
            m_server->Wait(std::chrono::seconds(10));
            m_server.reset();
        }
    }

  private:
    void Start(int number, const std::string& socket) {
        const std::string name = ":" + std::to_string(number);
        std::unique_ptr<ChildProcess> server;
        try {
            server = std::make_unique<ChildProcess>(std::vector<std::string>{
                "Xvfb", name, "-nolisten", "tcp", "-screen", "0", "1920x1200x24"});
        } catch (const std::exception&) {
            return;
        }
        // The server is ready once its socket exists; one that exits lost the race for the
        // number to another server.
        for (int i = 0; i < 1000; ++i) {
            if (server->Ended()) {
                return;
            }
            if (std::filesystem::exists(socket)) {
                m_server = std::move(server);
                setenv("DISPLAY", name.c_str(), 1);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::unique_ptr<ChildProcess> m_server;
};

[[maybe_unused]] testing::Environment* const g_display =
    testing::AddGlobalTestEnvironment(new XvfbDisplay);

}  // namespace
