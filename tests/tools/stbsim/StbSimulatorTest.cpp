// The simulated box against the reference responder over real pseudo-terminals: whole downloads
// succeed, and every kind of fault on the tool's side ends in a verdict that names it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/tools/stbsim/responder/ReferenceResponder.h"
#include "tools/stbsim/StbSimulator.h"
#include "tools/stbsim/TestImage.h"

namespace {

struct Outcome {
    StbVerdict verdict;
    ResponderCounts counts;
    StbSimStats stats;
};

StbSimOptions Options(uint64_t imageSize, uint32_t blockSize) {
    StbSimOptions options;
    options.image = stbsim::MakeTestImage(imageSize, static_cast<uint32_t>(imageSize));
    options.blockSize = blockSize;
    options.answerTimeoutMs = 500;
    options.startRepeatMs = 100;
    options.startSyncQuietMs = 50;
    options.exitQuietMs = 50;
    options.splitPauseMs = 2;
    return options;
}

Outcome Serve(const StbSimOptions& options, ResponderFaults faults = {}) {
    StbSimulator sim(options);
    Outcome out;
    if (const Result<void> opened = sim.OpenPty(); !opened) {
        ADD_FAILURE() << opened.Failure().Describe();
        return out;
    }
    ReferenceResponder responder(sim.SlavePath(), options.image, faults);
    EXPECT_TRUE(responder.Start());
    out.verdict = sim.Run();
    out.stats = sim.Stats();
    responder.Stop();
    out.counts = responder.Join();
    return out;
}

std::string Hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// Whole downloads: several block sizes (770 = 0x0302: every request's length field holds the
// bytes STX and ETX), an empty image, a paced line, and noisy split frames for three boxes.
TEST(StbSimulator, LoadsTheWholeImageInEveryKindOfRun) {
    struct Run {
        const char* name;
        uint64_t size;
        uint32_t block;
        bool noisySplit = false;
        int boxes = 1;
        uint32_t paced = 0;
    };
    for (const Run& run : {Run{"block 1", 3000, 1}, Run{"block 256", 200017, 256},
                           Run{"block 770", 200017, 770}, Run{"block 65535", 200017, 65535},
                           Run{"empty", 0, 4096}, Run{"paced", 20000, 4096, true, 1, 200000},
                           Run{"three noisy boxes", 50000, 4096, true, 3}}) {
        SCOPED_TRACE(run.name);
        StbSimOptions options = Options(run.size, run.block);
        options.consoleNoise = options.splitFrames = run.noisySplit;
        options.splitPauseMs = run.noisySplit ? 5 : 2;
        options.boxes = run.boxes;
        options.lineBytesPerSecond = run.paced;
        const Outcome out = Serve(options);
        EXPECT_TRUE(out.verdict.ok) << out.verdict.message;
        EXPECT_EQ(out.stats.boxesDone, run.boxes);
        EXPECT_EQ(out.stats.imageBytes, run.boxes * run.size);
        const uint64_t requests = run.boxes * ((run.size + run.block - 1) / run.block);
        EXPECT_EQ(out.stats.dataRequests, requests);
        EXPECT_EQ(out.counts.dataRequests, static_cast<int>(requests));
        EXPECT_EQ(out.counts.starts, run.boxes);
        EXPECT_EQ(out.counts.timeRequests, run.boxes);
        EXPECT_EQ(out.counts.exits, run.boxes);
        EXPECT_EQ(out.counts.unknown, 0);
        EXPECT_EQ(out.stats.dataLatencyMicros.size(), out.stats.dataRequests);
        EXPECT_TRUE(out.counts.sawPayloadStxEtx || run.block != 770);
        if (run.boxes == 3) {
            EXPECT_GT(out.counts.consoleBytes, 3u * 100u);  // banners and chatter
            // Every request came in pieces. A busy machine may run the responder late enough
            // to find both pieces waiting, so only most of them must have straddled reads.
            const int frames = out.counts.starts + out.counts.timeRequests +
                               out.counts.dataRequests + out.counts.exits;
            EXPECT_GT(out.counts.framesAcrossReads, frames / 2);
        }
    }
}

TEST(StbSimulator, RepeatsStartUntilALateToolAnswers) {
    StbSimOptions options = Options(10000, 4096);
    const Outcome out = Serve(options, ResponderFaults{.ignoreStarts = 2});
    EXPECT_TRUE(out.verdict.ok) << out.verdict.message;
    // Two dropped, then answered; a responder slower than the repeat may see one more.
    EXPECT_GE(out.counts.starts, 3);
    EXPECT_EQ(out.stats.imageBytes, 10000u);
}

TEST(StbSimulator, NamesEveryFaultOfTheTool) {
    const StbSimOptions options = Options(20000, 4096);
    {
        const Outcome out = Serve(options, ResponderFaults{.corruptOffset = 5000});
        EXPECT_FALSE(out.verdict.ok);
        const std::string want = "wrong image byte at offset 5000 (0x1388): expected " +
                                 Hex(options.image[5000]) + ", received " +
                                 Hex(static_cast<uint8_t>(options.image[5000] ^ 0xFF));
        EXPECT_NE(out.verdict.message.find(want), std::string::npos) << out.verdict.message;
        EXPECT_NE(out.verdict.message.find("STB_DATA_REQ offset=0x00001000 len=4096"),
                  std::string::npos)
            << out.verdict.message;
    }
    {
        const Outcome out = Serve(options, ResponderFaults{.wrongStartAnswer = true});
        EXPECT_FALSE(out.verdict.ok);
        EXPECT_EQ(out.verdict.message,
                  "wrong answer to STB_START: expected 02 01 0A 03, received 02 01 0B 03");
    }
    {
        const Outcome out = Serve(options, ResponderFaults{.skipDataOffset = 8192});
        EXPECT_FALSE(out.verdict.ok);
        EXPECT_EQ(out.verdict.message, "no answer to STB_DATA_REQ offset=0x00002000 len=4096");
        EXPECT_EQ(out.stats.imageBytes, 8192u);
    }
    {
        // A generous quiet time, so that a late stray answer on a busy machine is still seen.
        StbSimOptions patient = options;
        patient.exitQuietMs = 2000;
        const Outcome out = Serve(patient, ResponderFaults{.answerExit = true});
        EXPECT_FALSE(out.verdict.ok);
        EXPECT_EQ(out.verdict.message, "stray answer to EXIT_APP (it takes none): 02 04 0A 03");
    }
    {
        StbSimOptions two = options;
        two.boxes = 2;
        const Outcome out = Serve(two, ResponderFaults{.corruptOffset = 19999});
        EXPECT_FALSE(out.verdict.ok);
        EXPECT_EQ(out.verdict.message.rfind("box 1 of 2: wrong image byte at offset 19999", 0), 0u)
            << out.verdict.message;
    }
    {
        const Outcome out = Serve(options, ResponderFaults{.timeOffsetSeconds = 3600});
        EXPECT_FALSE(out.verdict.ok);
        EXPECT_EQ(out.verdict.message.rfind("wrong answer to STB_TIME_REQ: the tool said ", 0), 0u)
            << out.verdict.message;
    }
}

TEST(StbSimulator, AFrozenBoxEndsOnceTheToolLetsGoOfThePort) {
    StbSimOptions options = Options(50000, 4096);
    options.silentAfterBytes = 10000;
    std::atomic<bool> frozen{false};
    options.log = [&frozen](const std::string& line) {
        frozen = frozen || line.find("fell silent") != std::string::npos;
    };
    StbSimulator sim(options);
    const Result<void> simOpened = sim.OpenPty();
    ASSERT_TRUE(simOpened) << simOpened.Failure().Describe();
    auto responder = std::make_unique<ReferenceResponder>(sim.SlavePath(), options.image);
    ASSERT_TRUE(responder->Start());
    std::atomic<bool> ended{false};
    StbVerdict verdict;
    std::thread box([&] {
        verdict = sim.Run();
        ended = true;
    });
    // The waits only keep a broken build from hanging the test run.
    for (int i = 0; i < 2000 && !frozen; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(frozen);
    EXPECT_FALSE(ended) << "frozen while the tool holds the port";
    responder.reset();  // the tool closes the port
    for (int i = 0; i < 2000 && !ended; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(ended) << "the box waited on after the tool had closed the port";
    sim.Stop();
    box.join();
    EXPECT_TRUE(verdict.ok) << verdict.message;
    EXPECT_GE(sim.Stats().imageBytes, 10000u);
    EXPECT_EQ(verdict.message, "fell silent after " + std::to_string(sim.Stats().imageBytes) +
                                   " image bytes, as asked");
}

void WritePower(const std::string& fifo, const std::string& text) {
    const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << fifo;
    EXPECT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
}

// A box with a power input whose first boot glitches: it stays frozen while the tool holds the
// port, an off and an on (written at once) boot it again with its banner, and the second boot
// loads the whole image. With a hang-up at off, the second boot is on a new pty, named in the
// log. A word that is neither on nor off is named and changes nothing.
TEST(StbSimulator, APowerCycleBootsAGlitchedBoxAgain) {
    for (const bool hangUp : {false, true}) {
        SCOPED_TRACE(hangUp ? "hang-up at off" : "silent at off");
        StbSimOptions options = Options(50000, 4096);
        options.failFirst = 1;
        options.glitch = StbSimOptions::Glitch::Silent;
        options.powerOffHangsUp = hangUp;
        std::mutex mutex;
        std::vector<std::string> lines;
        options.log = [&](const std::string& line) {
            std::lock_guard lock(mutex);
            lines.push_back(line);
        };
        const auto logged = [&](const std::string& part) {
            for (int i = 0; i < 2000; ++i) {  // only keeps a broken build from hanging the run
                {
                    std::lock_guard lock(mutex);
                    for (const std::string& line : lines) {
                        if (line.find(part) != std::string::npos) {
                            return line;
                        }
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return std::string();
        };
        char dir[] = "/tmp/stbsim-power-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        const std::string fifo = std::string(dir) + "/power";
        StbSimulator sim(options);
        ASSERT_TRUE(sim.OpenPty());
        const std::string firstPath = sim.SlavePath();
        const Result<void> attached = sim.AttachPower(fifo);
        ASSERT_TRUE(attached) << attached.Failure().Describe();
        auto responder = std::make_unique<ReferenceResponder>(firstPath, options.image);
        ASSERT_TRUE(responder->Start());
        StbVerdict verdict;
        std::thread box([&] { verdict = sim.Run(); });
        EXPECT_NE(logged("box 1: fell silent after"), "");
        responder.reset();
        WritePower(fifo, "bounce\noff\non\n");
        EXPECT_NE(logged("'bounce' is neither on nor off"), "");
        std::string secondPath = firstPath;
        if (hangUp) {
            // A new pty, which may well take the old one's number.
            const std::string line = logged("box on /dev/");
            ASSERT_NE(line, "");
            secondPath = line.substr(line.find("/dev/"));
        }
        responder = std::make_unique<ReferenceResponder>(secondPath, options.image);
        ASSERT_TRUE(responder->Start());
        box.join();
        responder.reset();
        EXPECT_TRUE(verdict.ok) << verdict.message;
        EXPECT_EQ(sim.Stats().boxesDone, 1);
        EXPECT_NE(logged("box 2: 50000 image bytes received and checked"), "");
        std::lock_guard lock(mutex);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "power off"), 1);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "power on"), 1);
        unlink(fifo.c_str());
        rmdir(dir);
    }
}

TEST(StbSimulator, StopsFromAnotherThreadWhileNoToolAnswers) {
    StbSimOptions options = Options(1000, 256);
    options.startTimeoutMs = 3600000;
    StbSimulator sim(options);
    const Result<void> simOpened = sim.OpenPty();
    ASSERT_TRUE(simOpened) << simOpened.Failure().Describe();
    std::thread stopper([&sim] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sim.Stop();
    });
    const StbVerdict verdict = sim.Run();
    stopper.join();
    EXPECT_FALSE(verdict.ok);
    EXPECT_EQ(verdict.message, "stopped while waiting for STB_START");
}

}  // namespace
