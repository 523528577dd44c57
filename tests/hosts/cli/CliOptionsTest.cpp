// The command line of stavel, read in memory: the GNU forms, every refused line with its
// one-line reason, the same port given twice, and the --help text with every option and every
// exit status. One run of the program checks the way out of a refusal.

#include "hosts/cli/CliOptions.h"

#include <unistd.h>

#include <sstream>

#include "platform/ports/PortChoice.h"
#include "station/SlotLabel.h"
#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/pty/Pty.h"

namespace {

using Args = std::vector<std::string>;

TEST(CliOptions, ShortLongAndEqualsFormsReadTheSame) {
    for (const Args& args :
         {Args{"-p", "COM3", "-i", "a.sdl", "-d", "-q", "--loop", "--count", "3", "--timeout", "5",
               "--report", "r.jsonl", "--log-file", "l.log", "--timestamps"},
          Args{"--port=COM3", "--image=a.sdl", "--debug", "--quiet", "--loop", "--count=3",
               "--timeout=5", "--report=r.jsonl", "--log-file=l.log", "--timestamps", "--"}}) {
        const CliParse parse = ParseCommandLine(args);
        ASSERT_TRUE(parse.options) << parse.error;
        const CliOptions& o = *parse.options;
        EXPECT_EQ(o.mode, CliOptions::Mode::Serve);
        EXPECT_EQ(o.ports, Args{"COM3"});
        EXPECT_EQ(o.image, "a.sdl");
        EXPECT_TRUE(o.debug && o.quiet && o.loop && o.timestamps);
        EXPECT_EQ(o.count, 3);
        EXPECT_EQ(o.timeoutSeconds, 5);
        EXPECT_EQ(o.report, "r.jsonl");
        EXPECT_EQ(o.logFile, "l.log");
        EXPECT_FALSE(o.Station());
        EXPECT_EQ(o.baud, 115200u);
        EXPECT_FALSE(o.requireWhole);
    }
    const CliParse line =
        ParseCommandLine({"-p", "COM3", "-i", "a", "--baud", "921600", "--require-whole"});
    ASSERT_TRUE(line.options) << line.error;
    EXPECT_EQ(line.options->baud, 921600u);
    EXPECT_TRUE(line.options->requireWhole);
    const CliParse station = ParseCommandLine({"-p", "COM3", "-p", "COM4", "-i", "a", "--json"});
    ASSERT_TRUE(station.options) << station.error;
    EXPECT_TRUE(station.options->Station());
    EXPECT_EQ(ParseCommandLine({"--demo", "--fast"}).options->mode, CliOptions::Mode::Demo);
    EXPECT_EQ(ParseCommandLine({"--watch", "mqtt://h"}).options->mode, CliOptions::Mode::Watch);
    // A station's slot learns everything from its channel.
    const CliParse slot = ParseCommandLine({"--slot-channel=3"});
    ASSERT_TRUE(slot.options) << slot.error;
    EXPECT_EQ(slot.options->mode, CliOptions::Mode::Slot);
    EXPECT_EQ(slot.options->slotChannel, 3);
    // What a job leaves to the operator.
    const CliParse job = ParseCommandLine({"--job", "j.toml", "--check", "--operator=Ann", "-q",
                                           "--bell", "--json", "--loop", "--count=2"});
    ASSERT_TRUE(job.options) << job.error;
    EXPECT_EQ(job.options->job, "j.toml");
    EXPECT_TRUE(job.options->check);
    EXPECT_TRUE(job.options->bell);
}

TEST(CliOptions, EveryRefusedLineSaysWhyInOneLine) {
    const std::vector<std::pair<Args, std::string>> refused{
        {{}, "nothing to do"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-i", "x.img", "-p"}, "option '-p' needs a value"},
        {{"-p", "COM3", "-i", "x.img", "--report"}, "option '--report' needs a value"},
        {{"--port=", "-i", "x.img"}, "an option's value may not be empty"},
        {{"-p", "COM3", "-i", "x.img", "extra"},
         "stavel takes no operands; name the image with --image"},
        {{"-p", "COM3", "-p", "com3", "-i", "x.img"}, "the port 'com3' is given twice"},
        {{"-p", "COM3"}, "--image is required"},
        {{"-i", "x.img"}, "--port is required"},
        {{"--help", "--version"}, "--help, --version, --list-ports and --record-info stand alone"},
        {{"--record-info", "a.cap", "--list-ports"},
         "--help, --version, --list-ports and --record-info stand alone"},
        {{"-p", "COM3", "-i", "x", "--capture", "c", "--capture-max", "1K"},
         "--capture-max must be at least 64K, not '1K'"},
        {{"--all"}, "--all goes with --list-ports"},
        {{"-p", "COM3", "-i", "x", "--timestamps"},
         "--timestamps goes with --log-file or --log-dir"},
        {{"-p", "COM3", "-i", "x", "--log-file", "l", "--log-dir", "d"},
         "--log-file and --log-dir do not go together"},
        {{"-p", "COM3", "-p", "COM4", "-i", "x", "--log-file", "l"},
         "a station keeps one log per box: use --log-dir"},
        {{"-p", "COM3", "-i", "x", "--fast"}, "--fast goes with --demo"},
        {{"-p", "COM3", "-i", "x", "--count", "3"}, "--count goes with --loop"},
        {{"-p", "COM3", "-i", "x", "--loop", "--count", "0"},
         "--count takes a whole number from 1 to 1000000, not '0'"},
        {{"-p", "COM3", "-i", "x", "--timeout", "99999999999999999999"},
         "--timeout takes a whole number from 0 to 86400, not '99999999999999999999'"},
        {{"--demo", "--port", "COM3"}, "--demo takes only --fast, --image, --debug and --quiet"},
        {{"--job", "j.toml", "--operator", "Ann", "-q", "--json", "--loop", "-p", "COM3"},
         "with --job only --check, --operator, --quiet, --bell, --json, --loop and --count may be "
         "given; "
         "the job sets the rest ('-p')"},
        {{"--job", "j.toml", "--timeout=5"},
         "with --job only --check, --operator, --quiet, --bell, --json, --loop and --count may be "
         "given; "
         "the job sets the rest ('--timeout')"},
        {{"--check"}, "--check goes with --job"},
        {{"--slot-channel", "3", "-p", "COM3", "-i", "x"}, "--slot-channel stands alone"},
        {{"-q", "--slot-channel", "3"}, "--slot-channel stands alone"},
        {{"-p", "COM3", "-i", "x", "--baud", "0"},
         "--baud takes a whole number from 50 to 4000000, not '0'"},
        {{"-p", "COM3", "-i", "x", "--baud", "9600x"},
         "--baud takes a whole number from 50 to 4000000, not '9600x'"},
        {{"-p", "COM3", "-i", "x", "--baud", "5000000"},
         "--baud takes a whole number from 50 to 4000000, not '5000000'"},
        {{"--job", "j.toml", "--baud", "9600"},
         "with --job only --check, --operator, --quiet, --bell, --json, --loop and --count may be "
         "given; "
         "the job sets the rest ('--baud')"},
        {{"-p", "COM3", "-i", "x", "--sha256", "abc"},
         "--sha256 takes the image's SHA-256, all 64 hex digits"},
        {{"-p", "COM3", "-i", "x", "--mqtt", "mqtt://h", "--station", "s"},
         "--station goes with --watch (a station names itself with --station-name)"},
        {{"--watch", "mqtt://h", "-p", "COM3"},
         "--watch takes only --station, --mqtt-ca, --mqtt-password-file and --quiet"},
        {{"--watch", "mqtt://h", "--mqtt", "mqtt://h"},
         "--mqtt serves and publishes, --watch only watches: one or the other"},
        {{"-p", "COM3", "-i", "x", "--mqtt-password-file", "pw"},
         "--mqtt-password-file goes with --mqtt or --watch"},
        {{"-p", "COM3", "-i", "x", "--mqtt", "mqtt://h", "--mqtt-ca", "ca.pem"},
         "--mqtt-ca goes with an mqtts:// broker"},
    };
    for (const auto& [args, error] : refused) {
        const CliParse parse = ParseCommandLine(args);
        EXPECT_FALSE(parse.options) << error;
        EXPECT_EQ(parse.error, error);
    }
    // A broker URL is refused with its reason (each reason is in MqttUrlTest), never showing a
    // password.
    const CliParse password =
        ParseCommandLine({"-p", "COM3", "-i", "x", "--mqtt", "mqtt://u:pw1@h"});
    EXPECT_FALSE(password.options);
    EXPECT_NE(password.error.find("never a password"), std::string::npos) << password.error;
    EXPECT_EQ(password.error.find("pw1"), std::string::npos) << password.error;
}

TEST(CliOptions, TheSameDeviceThroughTwoLinksIsOnePort) {
    TempDir dir;
    WriteBytes(dir.File("tty"), "");
    ASSERT_EQ(symlink(dir.File("tty").c_str(), dir.File("a").c_str()), 0);
    ASSERT_EQ(symlink(dir.File("tty").c_str(), dir.File("b").c_str()), 0);
    const CliParse parse = ParseCommandLine({"-p", dir.File("a"), "-p", dir.File("b"), "-i", "x"});
    EXPECT_EQ(parse.error, "the port '" + dir.File("b") + "' is given twice");
    // A port name is the device it stands for, also through the environment, in either order.
    setenv("STAVEL_COM7", dir.File("a").c_str(), 1);
    const std::string device = ResolvedDevicePath(dir.File("tty"));
    for (const Args& args :
         {Args{"-p", "COM7", "-p", dir.File("tty"), "-i", "x"},
          Args{"-p", "A1=" + dir.File("b"), "-p", "A2=\\\\.\\com7", "-i", "x"}}) {
        const CliParse twins = ParseCommandLine(args);
        EXPECT_FALSE(twins.options);
        EXPECT_EQ(twins.error, "the ports '" + ReadSlotArgument(args[1]).port + "' and '" +
                                   ReadSlotArgument(args[3]).port + "' are one device (" + device +
                                   ")");
    }
    unsetenv("STAVEL_COM7");
    EXPECT_TRUE(ParseCommandLine({"-p", "COM7", "-p", dir.File("tty"), "-i", "x"}).options);
    // A port outside COM1..COM50 and a name that is neither a port nor a path.
    for (const std::string port : {"COM51", "ttyUSB0"}) {
        const Result<PortChoice> chosen = ChoosePort(port);
        ASSERT_FALSE(chosen) << port;
        EXPECT_NE(chosen.Failure().Describe().find(port), std::string::npos)
            << chosen.Failure().Describe();
    }
}

TEST(CliOptions, HelpNamesEveryOptionAndEveryExitStatus) {
    const std::string help = UsageText("stavel");
    std::istringstream options(
        "--port --image --ini --debug --quiet --log-file --log-dir --timestamps --json --loop "
        "--count --timeout --report --mqtt --station-name --operator --mqtt-ca "
        "--mqtt-password-file --watch --job --check --sha256 --box-id --capture --capture-max "
        "--baud --require-whole "
        "--record-info --db --find --export --from --to --result --format --keep-days --history "
        "--demo --fast --list-ports --help --version");
    for (std::string option; options >> option;) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
    for (const char* row : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  5 ", "\n  6 ",
                            "\n  7 ", "\n  8 ", "\n  9 ", "\n  129 130 143 "}) {
        EXPECT_NE(help.find(row), std::string::npos) << row;
    }
}

// The way out of the program: a usage error in two lines and status 2, help with status 0, and a
// report that cannot be opened refused before any box is served.
class CliProgramTest : public CliTest {};

TEST_F(CliProgramTest, UsageErrorsHelpAndAnUnwritableReportEndTheProgramWithTheirStatus) {
    ChildProcess bogus({ProgramPath("stavel"), "--bogus"});
    EXPECT_EQ(bogus.Wait().status, 2);
    EXPECT_EQ(bogus.Stderr(),
              "stavel: unknown option '--bogus'\nTry 'stavel --help' for more information.\n");
    EXPECT_EQ(bogus.Stdout(), "");

    ChildProcess help({ProgramPath("stavel"), "--help"});
    EXPECT_EQ(help.Wait().status, 0);
    EXPECT_EQ(help.Stdout(), UsageText("stavel"));

    const std::string report = m_dir.File("no-such-folder/boxes.jsonl");
    Pty pty;
    ChildProcess tool(StavelServe(pty.SlavePath(), MakeImage(100), {"--report", report}));
    EXPECT_EQ(tool.Wait().status, 2);
    EXPECT_NE(tool.Stderr().find("stavel: the report cannot be written: " + report +
                                 ": open: No such file or directory\n"),
              std::string::npos)
        << tool.Stderr();
    EXPECT_EQ(tool.Stdout(), "") << "no box is served without its report";
}

}  // namespace
