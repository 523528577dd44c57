#include "hosts/wx/ProgramOptions.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "tests/support/process/ChildProcess.h"

namespace {

constexpr std::array<ProgramOption, 3> kTable{{
    {"-p", "--port", "PORT", "a port"},
    {"", "--count", "N", "how many"},
    {"", "--start", "", "start at once"},
}};

ProgramCommandLine ReadLine(std::vector<const char*> args, bool ignoreUnknown = false) {
    args.insert(args.begin(), "program");
    return ReadProgramOptions(static_cast<int>(args.size()), args.data(), kTable, ignoreUnknown);
}

}  // namespace

TEST(ProgramOptions, EveryFormOfTheTableReadsAndWhatDoesNotIsSaidFirstUnlessHelpIsAsked) {
    const ProgramCommandLine line =
        ReadLine({"-p", "A=/dev/ttyUSB0", "--port=/dev/x", "--start", "--count", "--start"});
    ASSERT_EQ(line.error, "");
    const std::vector<std::pair<std::string_view, std::string>> given{{"--port", "A=/dev/ttyUSB0"},
                                                                      {"--port", "/dev/x"},
                                                                      {"--start", ""},
                                                                      {"--count", "--start"}};
    EXPECT_EQ(line.given, given);

    EXPECT_EQ(ReadLine({"--bogus", "--start=1"}).error, "unknown option '--bogus'");
    EXPECT_EQ(ReadLine({"--start=1"}).error, "option '--start' takes no value");
    EXPECT_EQ(ReadLine({"--count"}).error, "option '--count' needs a value (N)");
    EXPECT_TRUE(ReadLine({"--bogus"}, true).error.empty());

    // Help wins over what does not read; the answer's status follows.
    EXPECT_EQ(AnswerProgramLine(ReadLine({"--bogus", "--help"}), "program", ""), 0);
    EXPECT_EQ(AnswerProgramLine(ReadLine({"--bogus"}), "program", ""), 2);
    EXPECT_EQ(AnswerProgramLine(ReadLine({"--start"}), "program", ""), std::nullopt);

    EXPECT_EQ(ProgramOptionLines(kTable),
              "  -p, --port PORT  a port\n"
              "  --count N        how many\n"
              "  --start          start at once\n"
              "  --help           this text\n"
              "  --version        the version\n");
}

// Read before the toolkit starts: no display is needed to be told what is wrong.
TEST(ProgramOptions, StationProgramRefusesAWrongLineWithStatusTwoAndHelpsWithEveryOption) {
    ChildProcess wrong({ProgramPath("Stavel_Station"), "--bogus"}, {"DISPLAY="});
    const ChildProcess::End wrongEnd = wrong.Wait();
    EXPECT_TRUE(wrongEnd.exited);
    EXPECT_EQ(wrongEnd.status, 2);
    EXPECT_EQ(wrong.Stderr(),
              "Stavel_Station: unknown option '--bogus'\n"
              "Try 'Stavel_Station --help' for its options.\n");

    ChildProcess noPort({ProgramPath("Stavel_Station"), "-i", "image.bin"}, {"DISPLAY="});
    EXPECT_EQ(noPort.Wait().status, 2);
    EXPECT_NE(noPort.Stderr().find("an image given without a port"), std::string::npos);

    ChildProcess help({ProgramPath("Stavel_Station"), "--help"}, {"DISPLAY="});
    EXPECT_EQ(help.Wait().status, 0);
    for (const char* option : {"--job FILE", "-p, --port PORT", "-i, --image FILE",
                               "--operator NAME", "--count N", "--start", "--help", "--version"}) {
        EXPECT_NE(help.Stdout().find(option), std::string::npos) << option;
    }
}
