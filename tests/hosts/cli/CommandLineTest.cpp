// The command line of stavel: usage errors, images and ports that cannot be used, the port
// given as COMn, the listing of ports.

#include <filesystem>

#include "tests/hosts/cli/BoxRunner.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/pty/Pty.h"

namespace {

class CommandLineTest : public CliTest {
  protected:
    ChildProcess::End Run(ChildProcess& tool) {
        const ChildProcess::End end = tool.Wait();
        EXPECT_TRUE(end.exited) << "signal " << end.signal;
        return end;
    }
};

TEST_F(CommandLineTest, UsageErrorsExitWith2AndShowTheUsage) {
    const std::string image = MakeImage(100);
    const std::string stavel = ProgramPath("stavel");
    const std::vector<std::vector<std::string>> wrong{
        {stavel, "--port", "COM3", "--image", image, "--timestamps"},
        {stavel, "--port=", "--image", image},
        {stavel},
        {stavel, "--bogus"},
        {stavel, "--port", "COM3"},
        {stavel, "--image", image},
        {stavel, "--port", "COM3", "--image"},
        {stavel, "--port", "COM3", "--image="},
        {stavel, "--port", "COM51", "--image", image},
        {stavel, "--port", "ttyUSB0", "--image", image},
        {stavel, "--demo", "--port", "COM3"},
        {stavel, "--help", "--version"},
        {stavel, "--port", "COM3", "--image", image, "--count", "3"},
        {stavel, "--port", "COM3", "--image", image, "--loop", "--count", "0"},
        {stavel, "--port", "COM3", "--image", image, "--loop", "--count=-1"},
        {stavel, "--port", "COM3", "--image", image, "--timeout", "0"},
        {stavel, "--port", "COM3", "--image", image, "--timeout", "2s"},
        {stavel, "--port", "COM3", "--image", image, "--timeout", "99999999999999999999"},
        {stavel, "--port", "COM3", "--image", image, "--report"},
        {stavel, "--demo", "--report", "r.jsonl"},
        {stavel, "--demo", "--timeout", "5"},
    };
    for (const auto& args : wrong) {
        std::string line;
        for (const auto& a : args) {
            line += a + " ";
        }
        SCOPED_TRACE(line);
        ChildProcess tool(args);
        const ChildProcess::End end = Run(tool);
        EXPECT_EQ(end.status, 2);
        EXPECT_EQ(tool.Stderr().rfind("stavel: ", 0), 0u) << tool.Stderr();
        EXPECT_EQ(tool.Stdout(), "") << "no download was started";
    }
}

TEST_F(CommandLineTest, HelpVersionAndPortListExitWith0) {
    ChildProcess help({ProgramPath("stavel"), "--help"});
    EXPECT_EQ(Run(help).status, 0);
    for (const char* option :
         {"--port", "--image", "--ini", "--debug", "--loop", "--count", "--timeout", "--report",
          "--demo", "--fast", "--list-ports", "--version"}) {
        EXPECT_NE(help.Stdout().find(option), std::string::npos) << option;
    }
    // The one table of exit statuses, every row of it.
    for (const char* row :
         {"  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  6 ", "  7 ", "  129 130 143 "}) {
        EXPECT_NE(help.Stdout().find(row), std::string::npos) << row;
    }
    ChildProcess version({ProgramPath("stavel"), "--version"});
    EXPECT_EQ(Run(version).status, 0);
    EXPECT_EQ(version.Stdout().rfind("stavel ", 0), 0u) << version.Stdout();

    Pty pty;
    ChildProcess present({ProgramPath("stavel"), "--list-ports"},
                         {"STAVEL_COM7=" + pty.SlavePath(), "STAVEL_COM9=/dev/no-such-tty"});
    EXPECT_EQ(Run(present).status, 0);
    EXPECT_NE(present.Stdout().find("COM7   " + pty.SlavePath()), std::string::npos)
        << present.Stdout();
    EXPECT_EQ(present.Stdout().find("COM9 "), std::string::npos) << "absent ports are not listed";

    ChildProcess list({ProgramPath("stavel"), "--list-ports", "--all"},
                      {"STAVEL_COM7=" + pty.SlavePath()});
    EXPECT_EQ(Run(list).status, 0);
    const std::string out = list.Stdout();
    for (int n = 1; n <= 50; ++n) {
        EXPECT_EQ(CountOf(out, "COM" + std::to_string(n) + " "), 1) << "COM" << n << "\n" << out;
    }
    EXPECT_EQ(CountOf(out, "\n"), 50);
    const auto com7 = out.find("COM7 ");
    ASSERT_NE(com7, std::string::npos);
    const std::string line = out.substr(com7, out.find('\n', com7) - com7);
    EXPECT_NE(line.find(pty.SlavePath()), std::string::npos) << line;
    EXPECT_NE(line.find("present"), std::string::npos) << line;
}

TEST_F(CommandLineTest, AnImageThatCannotBeReadExitsWith2AfterTheMessageBox) {
    const std::string missing = m_dir.File("no-such.sdl");
    std::filesystem::create_directory(m_dir.File("folder.sdl"));
    for (const std::string& image : {missing, m_dir.File("folder.sdl")}) {
        SCOPED_TRACE(image);
        Pty pty;
        ChildProcess tool(StavelServe(pty.SlavePath(), image));
        EXPECT_EQ(Run(tool).status, 2);
        EXPECT_NE(tool.Stderr().find("stavel: Cannot read input file\n"), std::string::npos)
            << tool.Stderr();
        const int port = AssignedPort(tool.Stderr(), pty.SlavePath());
        // The port opened at start-up; the failed START logs nothing more.
        EXPECT_EQ(tool.Stdout(), kBanner + ConnectedLine(port));
        EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(port));
    }
}

TEST_F(CommandLineTest, APortThatCannotBeOpenedExitsWith3) {
    const std::string image = MakeImage(100);
    const std::string failedStart = FilenameLine(image, 100) + kPleaseConnect;
    {
        SCOPED_TRACE("a device path that does not exist");
        const std::string device = "/dev/stavel-test-no-such-tty";
        ChildProcess tool(StavelServe(device, image));
        EXPECT_EQ(Run(tool).status, 3);
        const int port = AssignedPort(tool.Stderr(), device);
        ASSERT_NE(port, 0) << tool.Stderr();
        // The first failure after start-up gives the general hint, the next names the port.
        EXPECT_EQ(tool.Stdout(),
                  kBanner + "Connection Error!!!, Check the serial port number.\r\n" + failedStart +
                      "Connection COM" + std::to_string(port) + " Error!!!\r\n" + kStopUploading);
    }
    {
        SCOPED_TRACE("COM7 with no device behind it");
        ChildProcess tool(StavelServe("COM7", image), {"STAVEL_COM7=/dev/stavel-test-no-such-tty"});
        EXPECT_EQ(Run(tool).status, 3);
        EXPECT_EQ(tool.Stdout(), kBanner +
                                     "Connection Error!!!, Check the serial port number.\r\n" +
                                     failedStart + "Connection COM7 Error!!!\r\n" + kStopUploading);
        // Only a successful connection stores the port: the file keeps its first-start value.
        EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(1));
    }
}

// A device path leaving the stored number alone is in ReasonLineTest.
TEST_F(CommandLineTest, PortGivenAsComNumberIsStored) {
    const std::string image = MakeImage(20000);
    BoxRunner box(FastBox(m_image));
    ASSERT_TRUE(box.Opened()) << box.OpenError();
    ChildProcess tool(StavelServe("com20", image), {"STAVEL_COM20=" + box.SlavePath()});
    box.Start();
    EXPECT_EQ(Run(tool).status, 0) << tool.Stderr();
    EXPECT_TRUE(box.Join().ok);
    EXPECT_EQ(tool.Stderr().find("stands for"), std::string::npos) << tool.Stderr();
    const std::string out = tool.Stdout();
    EXPECT_EQ(out.rfind(kBanner + ConnectedLine(20) + FilenameLine(image, 20000), 0), 0u) << out;
    EXPECT_EQ(ReadBytes(IniPath()), IniAfterConnect(20));
}

}  // namespace
