// Images that are not files: a folder, endless bytes, a FIFO, a file that cannot be read. Each
// program that takes an image (stavel, its demo, stbsim) refuses them with the reason and
// status 2, at once: none blocks, eats memory or crashes. An image past the protocol's 4 GiB
// reach is served up to it, with a warning.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/box/ScriptedBox.h"

namespace {

class OddImageTest : public CliTest {};

TEST_F(OddImageTest, EveryProgramRefusesWhatIsNotAnImageWithTheReasonAndStatus2) {
    std::vector<std::pair<std::string, std::string>> odd = {
        // path, reason
        {m_dir.Path(), "it is a folder"},
        {"/dev/zero", "it is a character device, not a file"},
        {m_dir.File("pipe.sdl"), "it is a FIFO, not a file"},
    };
    ASSERT_EQ(mkfifo(odd[2].first.c_str(), 0600), 0);
    if (geteuid() != 0) {
        const std::string locked = MakeImage(100, "locked.sdl");
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        odd.push_back({locked, "Permission denied"});
    } else {
        // The superuser reads any file; a loop of links is one it cannot read either.
        ASSERT_EQ(symlink("loop.sdl", m_dir.File("loop.sdl").c_str()), 0);
        odd.push_back({m_dir.File("loop.sdl"), "Too many levels of symbolic links"});
    }
    for (const auto& [path, reason] : odd) {
        SCOPED_TRACE(path);
        Pty pty;
        std::vector<std::vector<std::string>> commands = {
            StavelServe(pty.SlavePath(), path),
            {ProgramPath("stavel"), "--demo", "--fast", "--image", path},
            {ProgramPath("stbsim"), "--image", path},
        };
        for (const auto& command : commands) {
            SCOPED_TRACE(command[1]);
            const std::string program = command[0] == ProgramPath("stbsim") ? "stbsim" : "stavel";
            ChildProcess tool(command);
            const ChildProcess::End end = tool.Wait(std::chrono::seconds(20));
            ASSERT_TRUE(end.reaped) << "it did not end by itself";
            ASSERT_TRUE(end.exited) << "signal " << end.signal;
            EXPECT_EQ(end.status, 2);
            EXPECT_NE(tool.Stderr().find(program + ": Cannot read input file\n" + program + ": " +
                                         path + ": " + reason + "\n"),
                      std::string::npos)
                << tool.Stderr();
        }
    }
}

// A sparse image of 4 GiB and a block, its data just below 4 GiB: sizes and offsets past 2^31
// and 2^32 neither go negative nor wrap, in the log, the trace or the progress, and the block
// nearest the box's reach is served exactly.
TEST_F(OddImageTest, AnImagePastFourGiBIsServedToTheBoxsReachWithAWarning) {
    constexpr std::uint64_t kSize = (1ull << 32) + 4096;
    constexpr std::uint32_t kTail = 0xFFFFF000;
    const std::string image = m_dir.File("huge.sdl");
    const int fd = open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    Bytes tail(4096);
    for (std::size_t i = 0; i < tail.size(); ++i) {
        tail[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    const bool written = pwrite(fd, tail.data(), tail.size(), off_t{kTail}) == 4096 &&
                         ftruncate(fd, static_cast<off_t>(kSize)) == 0;
    close(fd);
    ASSERT_TRUE(written) << "no room for a sparse file in the temporary folder";
    ScriptedBox box;
    ChildProcess tool(StavelServe(box.SlavePath(), image, {"--debug"}));
    // START hashes the whole image first (seconds for 4 GiB, more under a sanitizer): the
    // deadline only guards against a hang.
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect, 1, std::chrono::minutes(3)))
        << tool.Stdout() << tool.Stderr();
    WaitConnected(tool, box.SlavePath());
    EXPECT_NE(tool.Stdout().find(FilenameLine(image, kSize) +
                                 "Warning: the image is larger than 4 GiB; the box can ask for "
                                 "its first 4 GiB only.\r\n" +
                                 kPleaseConnect),
              std::string::npos)
        << tool.Stdout();

    ASSERT_TRUE(box.Send(kStartRequest));
    EXPECT_EQ(box.Answer(4), kStartAnswer);
    ASSERT_TRUE(box.Send(DataRequest(kTail - 4096, 8192)));
    Bytes expected(4096, 0);
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(box.Answer(8192), expected);
    ASSERT_TRUE(box.Send(kExitAppRequest));
    const ChildProcess::End end = tool.Wait();
    ASSERT_TRUE(end.exited) << "signal " << end.signal;
    EXPECT_EQ(end.status, 0) << tool.Stderr();
    EXPECT_NE(tool.Stdout().find("Offset=0xffffe000, Len=0x2000\r\n"), std::string::npos)
        << tool.Stdout();
    const std::string err = tool.Stderr();
    EXPECT_NE(err.find("( 4294971392 / 4294971392 ) Bytes  100%"), std::string::npos) << err;
    EXPECT_EQ(err.find("-"), std::string::npos) << "a negative figure: " << err;
}

}  // namespace
