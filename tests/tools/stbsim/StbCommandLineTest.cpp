// The stbsim program: its options, and the program itself against the reference responder.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

#include "tests/tools/stbsim/responder/ReferenceResponder.h"
#include "tools/stbsim/StbCommandLine.h"
#include "tools/stbsim/TestImage.h"

namespace {

bool Parse(std::vector<std::string> args, StbCommandLine& out, std::string& error) {
    out = StbCommandLine();
    return ParseStbCommandLine(args, out, error);
}

TEST(StbCommandLine, SeveralPtysEachWithItsOwnChosenFailure) {
    StbCommandLine cmd;
    std::string error;
    ASSERT_TRUE(Parse({"--size", "1000", "--ptys", "4", "--fail", "2:hangup:100", "--fail",
                       "3:stop-reading:0", "--fail", "4:silent:8192"},
                      cmd, error))
        << error;
    EXPECT_EQ(cmd.ptys, 4);
    const StbSimOptions first = OptionsForPty(cmd, 1);
    EXPECT_EQ(first.hangUpAfterBytes, -1);
    EXPECT_EQ(first.stopReadingAfterBytes, -1);
    EXPECT_EQ(first.silentAfterBytes, -1);
    EXPECT_EQ(OptionsForPty(cmd, 2).hangUpAfterBytes, 100);
    EXPECT_EQ(OptionsForPty(cmd, 2).silentAfterBytes, -1);
    EXPECT_EQ(OptionsForPty(cmd, 3).stopReadingAfterBytes, 0);
    EXPECT_EQ(OptionsForPty(cmd, 4).silentAfterBytes, 8192);
    EXPECT_EQ(OptionsForPty(cmd, 4).hangUpAfterBytes, -1);
    EXPECT_EQ(cmd.options.regionLength, 0u) << "no region unless asked";
    ASSERT_TRUE(Parse({"--size", "1000", "--show-region", "0x1F000:256"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.regionOffset, 0x1F000);
    EXPECT_EQ(cmd.options.regionLength, 256u);
    ASSERT_TRUE(Parse({"--size", "1000", "--show-region", "4096:16"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.regionOffset, 4096);

    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--size", "10", "--fail", "2:hangup:1"},
             {"--size", "10", "--ptys", "2", "--fail", "1:melt:1"},
             {"--size", "10", "--ptys", "2", "--fail", "1:silent"},
             {"--size", "10", "--ptys", "2", "--fail", "0:silent:1"},
             {"--size", "10", "--ptys", "65"},
             {"--size", "10", "--ptys", "2", "--tty", "/dev/x"},
             {"--size", "10", "--show-region", "0x100"},
             {"--size", "10", "--show-region", "0x100:0"},
             {"--size", "10", "--show-region", "0x100:65537"},
             {"--size", "10", "--show-region", "0x100000000:4"},
             {"--size", "10", "--show-region", "12k:4"},
             {"--size", "10", "--ptys", "2", "--fail-first", "3:stall:1"},
             {"--size", "10", "--fail-first", "1:melt:1"},
             {"--size", "10", "--fail-first", "1:talk:0"},
             {"--size", "10", "--power-off", "hangup"},
             {"--size", "10", "--power-fifo", "/tmp/p", "--power-off", "sometimes"},
             {"--size", "10", "--power-fifo", "/tmp/p", "--tty", "/dev/x"}}) {
        EXPECT_FALSE(Parse(bad, cmd, error)) << bad.back();
        EXPECT_FALSE(error.empty());
    }
}

// Glitches on chosen boxes' first boots, and a power input per box.
TEST(StbCommandLine, GlitchedBootsAndAPowerInputPerBox) {
    StbCommandLine cmd;
    std::string error;
    ASSERT_TRUE(Parse({"--size", "1000", "--ptys", "3", "--fail-first", "2:stall:1", "--fail-first",
                       "3:talk:2", "--power-fifo", "/run/p", "--power-off", "hangup"},
                      cmd, error))
        << error;
    EXPECT_EQ(OptionsForPty(cmd, 1).failFirst, 0);
    EXPECT_EQ(OptionsForPty(cmd, 2).failFirst, 1);
    EXPECT_EQ(OptionsForPty(cmd, 2).glitch, StbSimOptions::Glitch::Stall);
    EXPECT_EQ(OptionsForPty(cmd, 3).failFirst, 2);
    EXPECT_EQ(OptionsForPty(cmd, 3).glitch, StbSimOptions::Glitch::Talk);
    EXPECT_TRUE(OptionsForPty(cmd, 1).powerOffHangsUp);
    EXPECT_EQ(PowerFifoFor(cmd, 3), "/run/p-3");
    ASSERT_TRUE(Parse({"--size", "1000", "--power-fifo", "/run/p", "--fail-first", "1:silent:1"},
                      cmd, error));
    EXPECT_EQ(PowerFifoFor(cmd, 1), "/run/p");
    EXPECT_FALSE(OptionsForPty(cmd, 1).powerOffHangsUp);
    EXPECT_EQ(OptionsForPty(cmd, 1).glitch, StbSimOptions::Glitch::Silent);
}

TEST(StbCommandLine, PacesTheLineAt115200UnlessTold) {
    StbCommandLine cmd;
    std::string error;
    ASSERT_TRUE(Parse({"--size", "1000", "--block", "65535", "--boxes", "3"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.blockSize, 65535u);
    EXPECT_EQ(cmd.options.lineBytesPerSecond, 11520u);
    ASSERT_TRUE(Parse({"--image", "a.bin", "--fast"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.lineBytesPerSecond, 0u);
    ASSERT_TRUE(Parse({"--image", "a.bin", "--baud", "9600"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.lineBytesPerSecond, 960u);
    // A chatty box talks at the line's rate, never asking.
    ASSERT_TRUE(Parse({"--size", "10", "--flood"}, cmd, error)) << error;
    EXPECT_EQ(cmd.options.chatter, StbSimOptions::Chatter::Flood);
    EXPECT_EQ(cmd.options.lineBytesPerSecond, 11520u);
    EXPECT_EQ(cmd.options.floodPiece, 0u);
    ASSERT_TRUE(Parse({"--size", "10", "--endless-line", "--flood-piece", "1024"}, cmd, error))
        << error;
    EXPECT_EQ(cmd.options.chatter, StbSimOptions::Chatter::Endless);
    EXPECT_EQ(cmd.options.floodPiece, 1024u);
}

TEST(StbCommandLine, RefusesWhatCannotWork) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--size", "10", "--block", "0"}, "--block wants a number from 1 to 65535, not '0'"},
        {{"--size", "10", "--block", "65536"},
         "--block wants a number from 1 to 65535, not '65536'"},
        {{"--size", "1x"}, "--size wants a number from 0 to 4294967295, not '1x'"},
        {{"--size", "10", "--image", "a"}, "give exactly one of --image FILE and --size N"},
        {{}, "give exactly one of --image FILE and --size N"},
        {{"--size", "10", "--fast", "--baud", "9600"}, "--fast and --baud exclude each other"},
        {{"--image", "a", "--save", "b"}, "--save goes with --size"},
        {{"--size", "10", "--colour"}, "unknown option --colour"},
        {{"--size"}, "--size needs a value"},
        {{"--size", "10", "--flood", "--endless-line"},
         "--talk-only, --wrong-speed, --flood and --endless-line exclude each other"},
    };
    for (const auto& [args, message] : cases) {
        StbCommandLine cmd;
        std::string error;
        EXPECT_FALSE(Parse(args, cmd, error)) << message;
        EXPECT_EQ(error, message);
    }
}

// The program prints its device first, serves a tool started on it, and exits 0; the generated
// image it names is the one it checks against.
TEST(StbProgram, ServesAToolStartedOnThePrintedDevice) {
    const std::string command = std::string(STAVEL_BINARY_DIR) +
                                "/bin/stbsim --size 70000 --fast --block 1000 --noise 2>&1";
    FILE* out = popen(command.c_str(), "r");
    ASSERT_NE(out, nullptr);
    char line[512] = {};
    ASSERT_NE(fgets(line, sizeof line, out), nullptr);
    std::string first = line;
    ASSERT_EQ(first.rfind("stbsim: box on ", 0), 0u) << first;
    const std::string device = first.substr(15, first.size() - 16);
    ASSERT_NE(fgets(line, sizeof line, out), nullptr);
    const std::string second = line;
    ASSERT_EQ(second.rfind("stbsim: image ", 0), 0u) << second;
    const std::string imagePath = second.substr(14, second.find(" (") - 14);
    const auto read = stbsim::ReadImageFile(imagePath);
    ASSERT_TRUE(read) << read.Failure().Describe();
    const std::vector<uint8_t>& image = *read;
    EXPECT_EQ(image.size(), 70000u);

    ReferenceResponder responder(device, image);
    ASSERT_TRUE(responder.Start());
    std::string rest;
    while (fgets(line, sizeof line, out) != nullptr) {
        rest += line;
    }
    const int status = pclose(out);
    responder.Stop();
    responder.Join();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << rest;
    EXPECT_NE(rest.find("stbsim: OK: 1 box loaded 70000 bytes each"), std::string::npos) << rest;
}

}  // namespace
