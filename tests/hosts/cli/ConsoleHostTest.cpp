// The command line's stand-in for the window's message boxes: "buff full", a box per dropped
// read in the window, is one line a second on standard error with the bytes lost since the last.

#include "hosts/cli/ConsoleHost.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "platform/host/ConsoleOutput.h"
#include "tests/support/files/TempDir.h"

namespace {

TEST(ConsoleHost, BuffFullIsSaidAtMostOnceASecondWithTheBytesDropped) {
    TempDir dir;
    const std::string file = dir.File("stderr");
    const int saved = dup(STDERR_FILENO);
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    dup2(fileno(out), STDERR_FILENO);
    {
        ConsoleHost host;
        std::uint64_t dropped = 0;
        host.SetDroppedBytes([&] { return dropped; });
        for (int read = 0; read < 5000; ++read) {
            dropped += 2048;
            host.MessageBox("buff full", "stavel", MB_OK);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        dropped += 1000;
        host.MessageBox("buff full", "stavel", MB_OK);
        host.MessageBox("Connection COM3 lost!!!", "stavel", MB_OK);  // every other box as it is
        ConsoleOutput::Process().Drain();
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    std::fclose(out);
    const std::string expected =
        "stavel: buff full: 2048 bytes dropped\n"
        "stavel: buff full: " +
        std::to_string(4999 * 2048 + 1000) + " bytes dropped\nstavel: Connection COM3 lost!!!\n";
    EXPECT_EQ(ReadBytes(file), expected);
}

}  // namespace
