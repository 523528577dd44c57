// What each power backend asks of its switch, and the bounds it keeps: pdudaemon's request
// against a server in the test, uhubctl's and a command's arguments, a command that fails, one
// that cannot start and one that hangs.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "power/BoundedCommand.h"
#include "power/PdudaemonRequest.h"
#include "power/PowerRequest.h"
#include "power/PowerSwitchboard.h"

namespace {

using std::chrono::milliseconds;

TEST(PowerSwitch, EachBackendAsksItsSwitchExactlyAndEachValueStaysOneArgument) {
    EXPECT_EQ(PdudaemonTarget(SlotSwitch{"rack1", "", "3"}, PowerAction::On),
              "/power/control/on?hostname=rack1&port=3");
    EXPECT_EQ(PdudaemonTarget(SlotSwitch{"rack 1&x=y", "", "3/4"}, PowerAction::Off),
              "/power/control/off?hostname=rack%201%26x%3Dy&port=3%2F4");
    EXPECT_EQ(UhubctlArgv(SlotSwitch{"", "1-1.4", "2"}, PowerAction::Off),
              (std::vector<std::string>{"uhubctl", "-l", "1-1.4", "-p", "2", "-a", "off"}));
    EXPECT_EQ(
        CommandArgv({"relayctl", "--relay={port}", "{action}", "{label} {label}", "{x}"}, "A3",
                    SlotSwitch{"", "", "{label}; rm -rf /"}, PowerAction::On),
        (std::vector<std::string>{"relayctl", "--relay={label}; rm -rf /", "on", "A3 A3", "{x}"}));
    std::string host;
    int port = 0;
    EXPECT_TRUE(SplitHttpUrl("http://127.0.0.1:16421", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 16421);
    EXPECT_TRUE(SplitHttpUrl("http://pdu.line3/", host, port));
    EXPECT_EQ(host, "pdu.line3");
    EXPECT_EQ(port, 80);
    EXPECT_TRUE(SplitHttpUrl("http://[::1]:8080", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_FALSE(SplitHttpUrl("https://pdu:1", host, port));
    EXPECT_FALSE(SplitHttpUrl("http://pdu:99999", host, port));
    EXPECT_FALSE(SplitHttpUrl("http://pdu:1/power", host, port));
}

TEST(PowerSwitch, ACommandRunsWithoutAShellAndFailsHangsOrIsMissingAsItSays) {
    EXPECT_TRUE(RunBounded({"true"}, milliseconds(5000)).ok);
    // No shell: the semicolon stays inside its argument, which the script prints.
    const PowerOutcome failed = RunBounded(
        {"sh", "-c", "echo \"relay $0 stuck\" >&2; exit 3", "7; exit 0"}, milliseconds(5000));
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.reason, "sh ended with status 3: relay 7; exit 0 stuck");
    const PowerOutcome missing = RunBounded({"no-such-relay-program"}, milliseconds(5000));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.reason, "cannot run no-such-relay-program: No such file or directory");
    // A hung command and what it started are killed at the bound.
    const PowerOutcome hung = RunBounded({"sh", "-c", "sleep 30 & sleep 30"}, milliseconds(300));
    EXPECT_FALSE(hung.ok);
    EXPECT_EQ(hung.reason, "sh did not end within 300 ms; killed");
}

// A stand-in for pdudaemon: it answers each request as `answer` says and keeps what it was
// asked.
struct Daemon {
    httplib::Server server;
    std::thread thread;
    int port = 0;
    std::mutex lock;
    std::vector<std::string> asked;
    std::atomic<int> status{200};
    std::atomic<bool> hang{false};
    std::mutex hangLock;
    std::condition_variable released;
    bool release = false;

    Daemon() {
        server.Get(R"(/power/control/(on|off|reboot))", [this](const httplib::Request& request,
                                                               httplib::Response& response) {
            {
                std::lock_guard guard(lock);
                asked.push_back(request.path + "?hostname=" + request.get_param_value("hostname") +
                                "&port=" + request.get_param_value("port"));
            }
            if (hang) {
                std::unique_lock wait(hangLock);
                released.wait(wait, [this] { return release; });
            }
            response.status = status;
            response.set_content(status == 200 ? "OK - accepted request\n" : "Invalid request\n",
                                 "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
    }
    ~Daemon() {
        {
            std::lock_guard guard(hangLock);
            release = true;
        }
        released.notify_all();
        server.stop();
        thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port); }
};

TEST(PowerSwitch, APdudaemonActionFailsUnreachedRefusedOrLateAndTheBoardHandsItBack) {
    Daemon daemon;
    PowerPlan plan;
    plan.url = daemon.Url();
    plan.bound = milliseconds(1000);
    PowerSwitchboard board(plan, {SlotSwitch{"rack1", "", "1"}, SlotSwitch{"rack1", "", "2"}},
                           {"A1", "A2"});
    std::mutex lock;
    std::condition_variable woken;
    int wakes = 0;
    board.SetWake([&] {
        std::lock_guard guard(lock);
        ++wakes;
        woken.notify_all();
    });
    board.Start(1, PowerAction::Off);
    board.Start(1, PowerAction::On);
    {
        std::unique_lock wait(lock);
        woken.wait(wait, [&] { return wakes == 2; });
    }
    const std::vector<PowerControl::Done> done = board.TakeDone();
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].slot, 1u);
    EXPECT_EQ(done[0].action, PowerAction::Off);
    EXPECT_EQ(done[1].action, PowerAction::On);
    EXPECT_TRUE(done[0].outcome.ok && done[1].outcome.ok) << done[0].outcome.reason;
    {
        std::lock_guard guard(daemon.lock);
        EXPECT_EQ(daemon.asked,
                  (std::vector<std::string>{"/power/control/off?hostname=rack1&port=2",
                                            "/power/control/on?hostname=rack1&port=2"}));
    }
    daemon.status = 500;
    const PowerOutcome refused = board.Act(0, PowerAction::On);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.reason, "pdudaemon at " + daemon.Url() +
                                  " refused /power/control/on?hostname=rack1&port=1: 500 "
                                  "Invalid request");
    daemon.hang = true;
    const PowerOutcome late =
        PdudaemonRequest(daemon.Url(), "/power/control/on?hostname=h&port=1", milliseconds(300));
    EXPECT_FALSE(late.ok);
    EXPECT_NE(late.reason.find("pdudaemon at " + daemon.Url() + ": "), std::string::npos)
        << late.reason;
    const std::string closed = "http://127.0.0.1:1";
    const PowerOutcome unreached =
        PdudaemonRequest(closed, "/power/control/on", milliseconds(1000));
    EXPECT_FALSE(unreached.ok);
    EXPECT_NE(unreached.reason.find("pdudaemon at " + closed + ": "), std::string::npos);
}

}  // namespace
