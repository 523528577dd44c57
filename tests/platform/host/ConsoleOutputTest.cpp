// The writer threads: text arrives whole and in order however it is written, a writer never
// waits for the reader, one descriptor nobody reads holds no other back, and what a full queue
// drops is said once, with its size.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/host/ConsoleOutput.h"
#include "platform/host/Host.h"

namespace {

class PipePair {
  public:
    PipePair() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~PipePair() {
        close(read);
        close(write);
    }
    // Everything until the writing end is closed.
    std::string ReadToEnd() const {
        std::string all;
        char buffer[65536];
        for (ssize_t n; (n = ::read(read, buffer, sizeof buffer)) > 0;) {
            all.append(buffer, static_cast<std::size_t>(n));
        }
        return all;
    }
    int read = -1;
    int write = -1;
};

}  // namespace

TEST(ConsoleOutput, TextFromSeveralThreadsArrivesWholeAndInOrder) {
    PipePair out;
    std::string collected;
    std::thread reader([&] { collected = out.ReadToEnd(); });
    std::string expected;
    {
        ConsoleOutput output(1 << 20);
        for (int i = 0; i < 20000; ++i) {
            const std::string line = "line " + std::to_string(i) + "\n";
            output.Write(out.write, line);
            expected += line;
        }
        output.Finish();
        EXPECT_EQ(output.Dropped(out.write), 0u);
    }
    close(out.write);
    out.write = -1;
    reader.join();
    EXPECT_EQ(collected, expected);
}

// Standard output nobody reads does not hold standard error back: the verdict after a log that
// fills the pipe still arrives, while the log waits, whole, for its reader.
TEST(ConsoleOutput, TextForOneDescriptorDoesNotWaitForAnotherThatNobodyReads) {
    PipePair log;
    PipePair verdicts;
    ConsoleOutput output;
    const std::string page(100 * 1024, 'l');  // more than a pipe holds
    output.Write(log.write, page);
    output.Write(verdicts.write, "stavel: COM7: PASS\n");
    pollfd p{verdicts.read, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1) << "the verdict waited for the unread log";
    char buffer[64];
    EXPECT_EQ(read(verdicts.read, buffer, sizeof buffer), 19);
    std::string got;
    std::thread reader([&] { got = log.ReadToEnd(); });
    output.Finish();
    close(log.write);
    log.write = -1;
    reader.join();
    EXPECT_EQ(got, page);
}

TEST(ConsoleOutput, AReaderThatStopsReadingLosesTextPastTheBoundAndIsToldHowMuch) {
    PipePair out;
    constexpr std::size_t kBound = 256 * 1024;
    // Nobody reads, and the pipe is full from the start: the queue fills, then text is
    // dropped. Every write still returns.
    fcntl(out.write, F_SETFL, O_NONBLOCK);
    std::size_t prefilled = 0;
    const std::string filler(4096, '#');
    for (ssize_t n; (n = write(out.write, filler.data(), filler.size())) > 0;) {
        prefilled += static_cast<std::size_t>(n);
    }
    fcntl(out.write, F_SETFL, 0);
    ConsoleOutput output(kBound);
    const std::string line(99, 'x');
    std::size_t written = 0;
    for (int i = 0; i < 20000; ++i) {
        output.Write(out.write, line + "\n");
        written += line.size() + 1;
    }
    const std::uint64_t dropped = output.Dropped(out.write);
    EXPECT_GT(dropped, 0u);
    // Whole lines went or stayed; what stayed is the bound, less the queue's own bookkeeping.
    EXPECT_EQ(dropped % (line.size() + 1), 0u);
    EXPECT_LE(written - dropped, kBound);
    EXPECT_GE(written - dropped, kBound - 1024);
    // The reader comes back: the rest arrives, then one marker with the count.
    std::string got;
    std::thread reader([&] { got = out.ReadToEnd().substr(prefilled); });
    output.Drain();
    output.Write(out.write, "after\n");
    output.Finish();
    close(out.write);
    out.write = -1;
    reader.join();
    const std::string marker = "[" + ApplicationName() + ": " + std::to_string(dropped) +
                               " bytes of output dropped here: nothing was "
                               "reading them]\n";
    ASSERT_GE(got.size(), marker.size());
    EXPECT_EQ(got.size(), written - dropped + marker.size() + 6);
    EXPECT_NE(got.find(marker + "after\n"), std::string::npos);
    EXPECT_EQ(got.find("[" + ApplicationName()), got.rfind("[" + ApplicationName()))
        << "one marker";
}

TEST(ConsoleOutput, HeldTextWaitsForPublishAndAReaderThatWentAwayIsNotWaitedFor) {
    PipePair out;
    ConsoleOutput output;
    output.HoldUntilPublished(true);
    output.Write(out.write, "held\n");
    pollfd p{out.read, POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 50), 0) << "written before it was published";
    output.Publish();
    EXPECT_EQ(poll(&p, 1, 10000), 1);
    char buffer[16];
    EXPECT_EQ(read(out.read, buffer, sizeof buffer), 5);
    output.HoldUntilPublished(false);

    // The reader is gone: writing fails (EPIPE, SIGPIPE ignored as the tools do) and the
    // descriptor is given up instead of blocking the end.
    signal(SIGPIPE, SIG_IGN);
    close(out.read);
    out.read = -1;
    for (int i = 0; i < 1000; ++i) {
        output.Write(out.write, std::string(1000, 'y'));
    }
    output.Finish();  // a hang here is the fault
}

namespace {

// A descriptor whose every write() arrives as one packet, so that writes can be counted.
class PacketPair {
  public:
    PacketPair() {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) == 0) {
            read = fds[0];
            write = fds[1];
        }
    }
    ~PacketPair() {
        close(read);
        close(write);
    }
    // The packets waiting now.
    std::vector<std::string> Packets() const {
        std::vector<std::string> packets;
        std::string buffer(1 << 20, '\0');
        for (ssize_t n; (n = recv(read, buffer.data(), buffer.size(), MSG_DONTWAIT)) > 0;) {
            packets.emplace_back(buffer.data(), static_cast<std::size_t>(n));
        }
        return packets;
    }
    int read = -1;
    int write = -1;
};

}  // namespace

// A console echoed a byte at a time to standard output and to a log file, with standard error
// in between: each turn's bytes reach each descriptor in one write, in their order, and the
// two streams of a terminal keep their order with each other.
TEST(ConsoleOutput, ATurnOfBytesEchoedOneByOneToTwoDescriptorsIsOneWriteEach) {
    PacketPair screen;  // standard output
    PacketPair file;    // a log file
    PacketPair errors;  // standard error
    ConsoleOutput output;
    output.SetApart(file.write);
    output.HoldUntilPublished(true);
    std::vector<std::size_t> turnSizes;
    for (int turn = 0; turn < 3; ++turn) {
        const std::string bytes = "turn " + std::to_string(turn) + ": loader says hello\r\n";
        for (const char c : bytes) {
            output.Write(screen.write, std::string_view(&c, 1));
            output.Write(file.write, std::string_view(&c, 1));
        }
        output.Publish();
        output.Drain();
        const std::vector<std::string> onScreen = screen.Packets();
        const std::vector<std::string> inFile = file.Packets();
        ASSERT_EQ(onScreen.size(), 1u) << "turn " << turn;
        ASSERT_EQ(inFile.size(), 1u) << "turn " << turn;
        EXPECT_EQ(onScreen[0], bytes);
        EXPECT_EQ(inFile[0], bytes);
    }

    // Standard error between two halves of a turn's echo: the screen's order stays "first half,
    // the message, second half", and the file, apart from both, still takes one write.
    for (const char c : std::string("abc")) {
        output.Write(screen.write, std::string_view(&c, 1));
        output.Write(file.write, std::string_view(&c, 1));
    }
    output.Write(errors.write, "stavel: note\n");
    for (const char c : std::string("def")) {
        output.Write(screen.write, std::string_view(&c, 1));
        output.Write(file.write, std::string_view(&c, 1));
    }
    output.Publish();
    output.Drain();
    EXPECT_EQ(screen.Packets(), (std::vector<std::string>{"abc", "def"}));
    EXPECT_EQ(errors.Packets(), (std::vector<std::string>{"stavel: note\n"}));
    EXPECT_EQ(file.Packets(), (std::vector<std::string>{"abcdef"}));

    output.Finish();
}

// A line that never ends, echoed a byte at a time to two descriptors whose order matters
// (standard output and standard error), while neither is read: the queue holds no more than
// its bound in memory, not a chunk's bookkeeping for every byte. Once the readers come back,
// everything let through arrives in order and the rest is counted.
TEST(ConsoleOutput, ALineWithoutEndEchoedByteByByteHoldsNoMoreMemoryThanTheBound) {
    PipePair out;
    PipePair err;
    std::size_t prefilled[2] = {0, 0};
    const std::string filler(4096, '#');
    for (int i = 0; i < 2; ++i) {
        const int fd = i == 0 ? out.write : err.write;
        fcntl(fd, F_SETFL, O_NONBLOCK);
        for (ssize_t n; (n = write(fd, filler.data(), filler.size())) > 0;) {
            prefilled[i] += static_cast<std::size_t>(n);
        }
        fcntl(fd, F_SETFL, 0);
    }
    constexpr std::size_t kBound = 256 * 1024;
    constexpr std::size_t kLine = 2 * 1024 * 1024;
    const std::size_t heapBefore = mallinfo2().uordblks;
    std::size_t heapMost = heapBefore;
    {
        ConsoleOutput output(kBound);
        for (std::size_t i = 0; i < kLine; ++i) {
            const char c = static_cast<char>('a' + i % 26);
            output.Write(out.write, std::string_view(&c, 1));
            output.Write(err.write, std::string_view(&c, 1));
            if (i % 65536 == 0) {
                heapMost = std::max(heapMost, mallinfo2().uordblks);
            }
        }
        // The allocator's count (not there under a sanitizer, which keeps its own).
        if (heapBefore != 0) {
            EXPECT_LT(heapMost - heapBefore, 2 * kBound) << "held for a never-ending line";
        }
        const std::uint64_t dropped[2] = {output.Dropped(out.write), output.Dropped(err.write)};
        std::string got[2];
        std::thread readers[2] = {std::thread([&] { got[0] = out.ReadToEnd(); }),
                                  std::thread([&] { got[1] = err.ReadToEnd(); })};
        output.Finish();
        close(out.write);
        close(err.write);
        out.write = err.write = -1;
        for (std::thread& reader : readers) {
            reader.join();
        }
        std::string line(kLine, ' ');
        for (std::size_t i = 0; i < kLine; ++i) {
            line[i] = static_cast<char>('a' + i % 26);
        }
        for (int i = 0; i < 2; ++i) {
            EXPECT_GT(dropped[i], 0u);
            const std::string kept = line.substr(0, kLine - dropped[i]);
            const std::string marker = "\n[" + ApplicationName() + ": " +
                                       std::to_string(dropped[i]) +
                                       " bytes of output dropped here: nothing was reading them]\n";
            EXPECT_TRUE(got[i].substr(prefilled[i]) == kept + marker) << "descriptor " << i;
        }
    }
}
