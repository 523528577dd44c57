// An image over 2 GiB: sizes and offsets beyond a 32-bit signed integer must neither go
// negative in the log nor in the progress, and the blocks near its end must be served.

#include <fcntl.h>
#include <unistd.h>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

class LargeImageTest : public CliTest {};

TEST_F(LargeImageTest, ImageOf3GiBIsServedToItsEndWithAPositiveSizeAndProgress) {
    constexpr std::uint64_t kSize = 3ull << 30;
    constexpr std::uint32_t kTailOffset = static_cast<std::uint32_t>(kSize - 4096);
    // A sparse file: only the last block holds data.
    const std::string image = m_dir.File("huge.sdl");
    const int fd = open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    Bytes tail(4096);
    for (std::size_t i = 0; i < tail.size(); ++i) {
        tail[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const bool written = pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(kTailOffset)) ==
                         static_cast<ssize_t>(tail.size());
    close(fd);
    ASSERT_TRUE(written) << "no room for a sparse file in the temporary folder";

    ScriptedBox box;
    ChildProcess tool(StavelServe(box.SlavePath(), image, {"--debug"}));
    // START hashes the 3 GiB image first: the deadline only guards against a hang.
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect, 1, std::chrono::minutes(3)))
        << tool.Stdout() << tool.Stderr();
    const int port = AssignedPort(tool.Stderr(), box.SlavePath());
    ASSERT_TRUE(tool.WaitForStdout(ConnectedLine(port), 2)) << tool.Stdout();
    EXPECT_NE(tool.Stdout().find(FilenameLine(image, kSize)), std::string::npos) << tool.Stdout();

    ASSERT_TRUE(box.Send(kStartRequest));
    EXPECT_EQ(box.Answer(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    ASSERT_TRUE(box.Send(DataRequest(kTailOffset - 4096, 8192)));
    Bytes expected(4096, 0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(box.Answer(8192), expected);
    ASSERT_TRUE(box.Send(kExitAppRequest));
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stderr();

    EXPECT_NE(tool.Stdout().find("Offset=0xbfffe000, Len=0x2000\r\n"), std::string::npos)
        << tool.Stdout();
    const std::string err = tool.Stderr();
    EXPECT_NE(err.find("( 3221225472 / 3221225472 ) Bytes  100%"), std::string::npos) << err;
    EXPECT_EQ(err.find("-"), std::string::npos) << "a negative figure: " << err;
}

}  // namespace
