// Images that are not files: a folder, endless bytes, a FIFO, a file that cannot be read. Each
// program that takes an image (stavel, its demo, stbsim) refuses them with the reason and
// status 2, at once: none blocks, eats memory or crashes. An image past the protocol's 4 GiB
// reach is served with a warning.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/hosts/cli/CliFixture.h"
#include "tests/support/pty/Pty.h"

namespace {

class OddImageTest : public CliTest {};

struct OddImage {
    std::string path;
    std::string reason;
};

TEST_F(OddImageTest, EveryProgramRefusesWhatIsNotAnImageWithTheReasonAndStatus2) {
    std::vector<OddImage> odd = {
        {m_dir.Path(), "it is a folder"},
        {"/dev/zero", "it is a character device, not a file"},
        {m_dir.File("pipe.sdl"), "it is a FIFO, not a file"},
    };
    ASSERT_EQ(mkfifo(odd[2].path.c_str(), 0600), 0);
    if (geteuid() != 0) {
        const std::string locked = MakeImage(100, "locked.sdl");
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        odd.push_back({locked, "Permission denied"});
    } else {
        // The superuser reads any file; a loop of links is one it cannot read either.
        ASSERT_EQ(symlink("loop.sdl", m_dir.File("loop.sdl").c_str()), 0);
        odd.push_back({m_dir.File("loop.sdl"), "Too many levels of symbolic links"});
    }
    for (const OddImage& image : odd) {
        SCOPED_TRACE(image.path);
        Pty pty;
        std::vector<std::vector<std::string>> commands = {
            StavelServe(pty.SlavePath(), image.path),
            {ProgramPath("stavel"), "--demo", "--fast", "--image", image.path},
            {ProgramPath("stbsim"), "--image", image.path},
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
                                         image.path + ": " + image.reason + "\n"),
                      std::string::npos)
                << tool.Stderr();
        }
    }
}

TEST_F(OddImageTest, AnImagePastFourGiBIsServedWithAWarning) {
    const std::string image = m_dir.File("huge.sdl");
    const int fd = open(image.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ftruncate(fd, (off_t{1} << 32) + 4096) == 0;
    close(fd);
    ASSERT_TRUE(sized) << "no room for a sparse file in the temporary folder";
    Pty pty;
    ChildProcess tool(StavelServe(pty.SlavePath(), image));
    // START hashes the whole image first (seconds for 4 GiB, more under a sanitizer): the
    // deadline only guards against a hang.
    ASSERT_TRUE(tool.WaitForStdout(kPleaseConnect, 1, std::chrono::minutes(3)))
        << tool.Stdout() << tool.Stderr();
    const std::string out = tool.Stdout();
    EXPECT_NE(out.find(FilenameLine(image, (1ull << 32) + 4096) +
                       "Warning: the image is larger than 4 GiB; the box can ask for its first "
                       "4 GiB only.\r\n" +
                       kPleaseConnect),
              std::string::npos)
        << out;
    tool.Signal(SIGTERM);
    EXPECT_EQ(tool.Wait().status, 143);
}

}  // namespace
