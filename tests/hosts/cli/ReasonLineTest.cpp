// The command line says why: every failure leaves one line on standard error with the device,
// the system's reason and what to do, whatever standard output is; options in GNU forms; a
// usage error in two lines; a run given a device path leaves the window's port number alone.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/pty/Pty.h"

namespace {

class ReasonLineTest : public CliTest {
  protected:
    // Runs stavel on `port` to its end; answers its standard error.
    std::string FailingRun(const std::string& port, int expectedStatus,
                           const std::vector<std::string>& prefix = {}) {
        std::vector<std::string> args = prefix;
        for (const std::string& a : StavelServe(port, m_imagePath)) {
            args.push_back(a);
        }
        ChildProcess tool(args);
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(end.exited && end.status == expectedStatus) << "status " << end.status << "\n"
                                                                << tool.Stderr();
        // The log keeps its own texts; the reason is for the operator, on standard error.
        EXPECT_EQ(tool.Stdout().find("No such file"), std::string::npos) << tool.Stdout();
        return tool.Stderr();
    }

    std::string m_imagePath;
};

TEST_F(ReasonLineTest, APortThatWillNotOpenSaysWhyAndWhatToDo) {
    m_imagePath = MakeImage(1000);
    {
        SCOPED_TRACE("no such device");
        const std::string err = FailingRun("/dev/stavel-no-such-tty", 3);
        EXPECT_NE(err.find("stavel: /dev/stavel-no-such-tty: open: No such file or directory. "),
                  std::string::npos)
            << err;
        EXPECT_TRUE(err.find("Ports present: ") != std::string::npos ||
                    err.find("No serial port is present") != std::string::npos)
            << err;
    }
    {
        SCOPED_TRACE("a port another program holds");
        Pty pty;
        const int holder = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(holder, 0);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        const std::string err = FailingRun(pty.SlavePath(), 3);
        EXPECT_NE(err.find(pty.SlavePath() +
                           ": flock: Resource temporarily unavailable. The port "
                           "is in use by process " +
                           std::to_string(getpid()) + " ("),
                  std::string::npos)
            << err;
        close(holder);
    }
    for (const std::string& notAPort : {std::string("/dev/ptmx"), m_imagePath}) {
        SCOPED_TRACE(notAPort);
        const std::string err = FailingRun(notAPort, 3);
        EXPECT_NE(err.find(notAPort + ": not a serial device. It is not a serial port; see stavel "
                                      "--list-ports.\n"),
                  std::string::npos)
            << err;
    }
}

// Permission is refused only to an ordinary user: the superuser runs stavel as "nobody" on a
// pty only root may open.
TEST_F(ReasonLineTest, APermissionRefusedNamesTheDialoutGroup) {
    const std::string setpriv = "/usr/bin/setpriv";
    if (geteuid() != 0 || access(setpriv.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "needs the superuser and setpriv to run stavel as another user";
    }
    namespace fs = std::filesystem;
    m_imagePath = MakeImage(1000);
    fs::permissions(m_dir.Path(), fs::perms::all);
    fs::permissions(m_imagePath,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    // A copy the other user can run, wherever the build folder lies.
    const std::string stavel = m_dir.File("stavel");
    fs::copy_file(ProgramPath("stavel"), stavel);
    Pty pty;
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0600), 0);
    std::vector<std::string> args{setpriv, "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> serve = StavelServe(pty.SlavePath(), m_imagePath);
    serve[0] = stavel;
    args.insert(args.end(), serve.begin(), serve.end());
    ChildProcess tool(args);
    const ChildProcess::End end = tool.Wait();
    EXPECT_EQ(end.status, 3) << tool.Stderr();
    EXPECT_NE(tool.Stderr().find(pty.SlavePath() +
                                 ": open: Permission denied. Add your user to the dialout group "
                                 "(sudo usermod -aG dialout $USER) and log in again.\n"),
              std::string::npos)
        << tool.Stderr();
}

TEST_F(ReasonLineTest, UsageErrorsAreOneLineAndAPointerToHelp) {
    const std::string stavel = ProgramPath("stavel");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{stavel, "--bogus"}, "unknown option '--bogus'"},
        {{stavel, "-x"}, "unknown option '-x'"},
        {{stavel, "-i", "x.img", "-p"}, "option '-p' needs a value"},
        {{stavel, "--port"}, "option '--port' needs a value"},
        {{stavel, "-p", "COM3", "-i", "x.img", "extra"},
         "stavel takes no operands; name the image with --image"},
        {{stavel, "-p", "COM3", "-p", "com3", "-i", "x.img"}, "the port 'com3' is given twice"},
    };
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(error);
        ChildProcess tool(args);
        const ChildProcess::End end = tool.Wait();
        EXPECT_EQ(end.status, 2);
        EXPECT_EQ(tool.Stderr(),
                  "stavel: " + error + "\nTry 'stavel --help' for more information.\n");
        EXPECT_EQ(tool.Stdout(), "");
    }
}

TEST_F(ReasonLineTest, ShortLongAndEqualsFormsServeABoxAndADevicePathLeavesTheStoredPort) {
    const std::uint64_t size = 30000;
    const std::string image = MakeImage(size);
    const std::string ini = IniPath();
    const std::string stored = "[Gerneral]\r\nCOM Port Number=7\r\nSdlFileName=\r\n\r\n\r\n";
    WriteBytes(ini, stored);
    const std::string log = m_dir.File("box.log");
    const std::vector<std::vector<std::string>> forms{
        {"-p", "@", "-i", image, "-q", "-d", "--ini", ini},
        {"--port=@", "--image=" + image, "--ini=" + ini, "--quiet", "--log-file", log,
         "--timestamps", "--"},
    };
    for (const auto& form : forms) {
        BoxRunner box(FastBox(m_image));
        ASSERT_TRUE(box.Opened()) << box.OpenError();
        std::vector<std::string> args{ProgramPath("stavel")};
        for (const std::string& a : form) {
            args.push_back(a == "@"                    ? box.SlavePath()
                           : a.starts_with("--port=@") ? "--port=" + box.SlavePath()
                                                       : a);
        }
        ChildProcess tool(args);
        box.Start();
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(box.Join().ok);
        EXPECT_EQ(end.status, 0) << tool.Stderr();
        EXPECT_EQ(tool.Stderr().find(" Bytes "), std::string::npos) << "--quiet shows progress";
        EXPECT_NE(tool.Stderr().find(": PASS 30000 bytes"), std::string::npos) << tool.Stderr();
        // A device path is not the window's choice of port: the stored number stays.
        EXPECT_EQ(ReadBytes(ini), stored);
    }
    // The log file holds the log as standard output does, each line behind its UTC time.
    const std::string text = ReadBytes(log);
    ASSERT_FALSE(text.empty());
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1, ++lines) {
        const std::string stamp = text.substr(at, 25);
        EXPECT_TRUE(stamp.size() == 25 && stamp[4] == '-' && stamp[10] == 'T' && stamp[23] == 'Z' &&
                    stamp[24] == ' ')
            << stamp;
        if (text.find('\n', at) == std::string::npos) {
            break;
        }
    }
    EXPECT_GE(lines, 5u);
    EXPECT_NE(text.find("Stop uploading...."), std::string::npos) << text;
}

}  // namespace
