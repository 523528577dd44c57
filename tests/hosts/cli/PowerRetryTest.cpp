// Power control and retries end to end: four simulated boxes, each with a power input, behind
// the real pdudaemon from Debian (its localcmdline PDU writes to the boxes' inputs), one box
// stalling on its first boot; and a power command that hangs, killed at its bound.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "platform/base/UniqueFd.h"
#include "platform/digest/Sha256.h"
#include "tests/hosts/cli/CliFixture.h"

#include <fcntl.h>

namespace {

// A TCP port nobody listens on now, for the daemon.
int FreePort() {
    const UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool Listening(int port) {
    const UniqueFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return connect(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

std::string Which(const std::string& program) {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/usr/local/bin"}) {
        const std::string path = std::string(dir) + "/" + program;
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

class PowerRetryTest : public CliTest {
  protected:
    // stbsim's boxes, each with its power input beside the test's files; their devices.
    std::vector<std::string> StartBoxes(int count, const std::vector<std::string>& extra) {
        std::vector<std::string> argv{ProgramPath("stbsim"),
                                      "--size",
                                      "32768",
                                      "--save",
                                      Image(),
                                      "--ptys",
                                      std::to_string(count),
                                      "--power-fifo",
                                      m_dir.File("power")};
        argv.insert(argv.end(), extra.begin(), extra.end());
        m_sim = std::make_unique<ChildProcess>(argv);
        const std::string last =
            count == 1 ? "power input" : "box " + std::to_string(count) + " power input";
        EXPECT_TRUE(m_sim->WaitForStdout(last)) << m_sim->Stdout() << m_sim->Stderr();
        std::vector<std::string> devices;
        const std::string out = m_sim->Stdout();
        const std::regex on("box (?:[0-9]+ )?on (/dev/[^\n]+)\n");
        for (auto it = std::sregex_iterator(out.begin(), out.end(), on);
             it != std::sregex_iterator(); ++it) {
            devices.push_back((*it)[1]);
        }
        return devices;
    }
    std::string Image() const { return m_dir.File("image.sdl"); }
    std::string Sha256() const {
        const UniqueFd image(open(Image().c_str(), O_RDONLY | O_CLOEXEC));
        return Sha256OfFile(image.Get()).hex;
    }
    std::string Job(const std::string& top, const std::string& power,
                    const std::vector<std::string>& devices, bool outlets) {
        std::string text = "name = \"rack\"\nimage = \"image.sdl\"\nsha256 = \"" + Sha256() +
                           "\"\nreport = \"boxes.jsonl\"\ntimeout = 3\n" + top + power +
                           "[slots]\n";
        for (std::size_t k = 1; k <= devices.size(); ++k) {
            text += "A" + std::to_string(k) + " = { port = \"" + devices[k - 1] + "\"" +
                    (outlets ? ", power = { hostname = \"rack\", port = " + std::to_string(k) + " }"
                             : std::string()) +
                    " }\n";
        }
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }

    std::unique_ptr<ChildProcess> m_sim;
};

TEST_F(PowerRetryTest, PdudaemonPowerCyclesABoxThatStalledAndItsRetryPasses) {
    const std::string pdudaemon = Which("pdudaemon");
    if (pdudaemon.empty()) {
        GTEST_SKIP() << "pdudaemon is not installed (scripts/install-deps.sh installs it)";
    }
    const std::vector<std::string> devices = StartBoxes(4, {"--fast", "--fail-first", "2:stall:1"});
    ASSERT_EQ(devices.size(), 4u) << m_sim->Stdout();
    const int port = FreePort();
    ASSERT_NE(port, 0);
    const std::string power = m_dir.File("power");
    WriteBytes(m_dir.File("pdu.json"),
               "{\"daemon\": {\"hostname\": \"127.0.0.1\", \"port\": " + std::to_string(port) +
                   ", \"listener\": \"http\"},\n"
                   " \"pdus\": {\"rack\": {\"driver\": \"localcmdline\",\n"
                   "   \"cmd_on\": \"echo on > " +
                   power +
                   "-%s\",\n"
                   "   \"cmd_off\": \"echo off > " +
                   power + "-%s\"}}}\n");
    ChildProcess daemon(
        {pdudaemon, "--conf", m_dir.File("pdu.json"), "--logfile", m_dir.File("pdu.log")});
    for (int i = 0; i < 300 && !Listening(port); ++i) {  // keeps a broken daemon from hanging
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(Listening(port)) << daemon.Stderr();
    const std::string job =
        Job("retries = 1\nretry_on = [\"box-stalled\"]\n",
            "[power]\nbackend = \"pdudaemon\"\nurl = \"http://127.0.0.1:" + std::to_string(port) +
                "\"\noff_seconds = 1\n",
            devices, true);
    ChildProcess station({ProgramPath("stavel"), "--job", job, "--json"});
    const ChildProcess::End end = station.Wait(std::chrono::seconds(60));
    EXPECT_EQ(end.status, 0) << station.Stderr();
    const std::vector<Json> records = Records(ReportPath());
    ASSERT_EQ(records.size(), 5u) << station.Stderr();
    int firsts = 0;
    for (const Json& r : records) {
        if (JsonStringAt(r, "slot") != "A2") {
            EXPECT_EQ(JsonStringAt(r, "result"), "pass") << r;
            EXPECT_EQ(JsonWholeAt(r, "attempt"), 1);
            EXPECT_TRUE(JsonBoolAt(r, "final", false));
            ++firsts;
        }
    }
    EXPECT_EQ(firsts, 3);
    const Json& stalled = records[3];
    const Json& retried = records[4];
    EXPECT_EQ(JsonStringAt(stalled, "slot"), "A2");
    EXPECT_EQ(JsonStringAt(stalled, "reason_code"), "box-stalled");
    EXPECT_FALSE(JsonBoolAt(stalled, "final", true));
    EXPECT_EQ(JsonStringAt(retried, "slot"), "A2");
    EXPECT_EQ(JsonStringAt(retried, "result"), "pass");
    EXPECT_EQ(JsonWholeAt(retried, "attempt"), 2);
    EXPECT_EQ(JsonStringAt(retried, "retry_of"), JsonStringAt(stalled, "id"));
    // Both yields: 3 of 4 boxes at their first attempt, 4 of 4 in the end.
    EXPECT_NE(station.Stderr().find("  total                          4       0       0   100%  "
                                    "    75%"),
              std::string::npos)
        << station.Stderr();
    EXPECT_NE(station.Stdout().find("\"first_pass_yield\":0.75,\"yield\":1.0"), std::string::npos)
        << station.Stdout();
    // The daemon switched box 2 off and on between its attempts, the power input saw it.
    EXPECT_TRUE(m_sim->WaitForStdout("pty 2: power off")) << m_sim->Stdout();
    EXPECT_TRUE(m_sim->WaitForStdout("pty 2: box 2: 32768 image bytes received and checked"));
}

TEST_F(PowerRetryTest, APowerCommandThatHangsIsKilledAtItsBoundAndTheSlotSaysSo) {
    // Paced, so that the box is still loading when the bound has passed (about 3 s).
    const std::vector<std::string> devices = StartBoxes(1, {});
    ASSERT_EQ(devices.size(), 1u) << m_sim->Stdout();
    const std::string job = Job(
        "",
        "[power]\nbackend = \"command\"\ncommand = [\"sleep\", \"30\", \"{port}\"]\ntimeout = 1\n",
        devices, false);
    // The command backend needs the slot's outlet: a relay number.
    std::string text = ReadBytes(job);
    text.replace(text.find(" }\n"), 3, ", power = { port = \"7\" } }\n");
    WriteBytes(job, text);
    ChildProcess station({ProgramPath("stavel"), "--job", job});
    const ChildProcess::End end = station.Wait(std::chrono::seconds(30));
    EXPECT_EQ(end.status, 0) << station.Stderr();
    const std::string err = station.Stderr();
    const std::string said =
        "stavel: A1: power control failed: sleep did not end within 1 s; killed; no box is "
        "counted for it\n";
    EXPECT_NE(err.find(said), std::string::npos) << err;
    EXPECT_EQ(err.find(said, err.find(said) + 1), std::string::npos) << "said once";
    // The box, powered anyway, was served and counted; the failure was no box.
    EXPECT_EQ(Records(ReportPath()).size(), 1u);
}

}  // namespace
