#include "download/StbProtocol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <future>
#include <thread>

#include "download/Mjd.h"
#include "download/ServedImage.h"
#include "platform/digest/Sha256.h"
#include "tests/download/ProtocolRig.h"

TEST(StbProtocol, StartIsAcknowledgedAndTracedOnlyInDebugMode) {
    ProtocolRig rig;
    rig.BoxSends({0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    EXPECT_EQ(rig.Log(), "");

    rig.SetDebug(true);
    rig.BoxSends({0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    EXPECT_EQ(rig.Log(), "[ZUDI] => STB_START\r\n");
    EXPECT_EQ(rig.link.m_rxRing.GetCount(), 0);
}

TEST(StbProtocol, TimeAnswerCarriesTheLocalDateAsMjdAndPrintsBothClocks) {
    ProtocolRig rig;
    const char* oldTz = std::getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "JST-9", 1);  // nine hours ahead of UTC, no daylight saving
    tzset();
    // 2009-05-25 20:34:56 UTC is 2009-05-26 05:34:56 in that zone: the date is the local one.
    rig.protocol.SetClock([] { return std::time_t{1243283696}; });
    std::FILE* out = std::tmpfile();
    rig.protocol.SetTimeOutput(out);

    rig.SetDebug(true);
    rig.BoxSends({0x02, 0x03, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(8), (Bytes{0x02, 0x03, 0xD6, 0xC1, 5, 34, 56, 0x03}));
    EXPECT_EQ(rig.Log(), "[ZUDI] => STB_TIME_REQ\r\n");

    std::rewind(out);
    char text[256] = {};
    const std::size_t n = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    EXPECT_EQ(std::string(text, n),
              "[UTC]   : 2009-05-25, 20:34:56\n"
              "[LOCAL] : 2009-05-26, 05:34:56\n");
    if (oldTz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(StbProtocol, ModifiedJulianDateFollowsTheBroadcastRule) {
    EXPECT_EQ(ModifiedJulianDate(109, 5, 26), 54977);
    EXPECT_EQ(ModifiedJulianDate(110, 1, 1), 55197);
    // Across the ends of February, in a leap year and in a common one.
    EXPECT_EQ(ModifiedJulianDate(100, 2, 29) + 1, ModifiedJulianDate(100, 3, 1));
    EXPECT_EQ(ModifiedJulianDate(101, 2, 28) + 1, ModifiedJulianDate(101, 3, 1));
    EXPECT_EQ(ModifiedJulianDate(99, 12, 31) + 1, ModifiedJulianDate(100, 1, 1));
    // The epoch of the Unix clock is MJD 40587.
    EXPECT_EQ(ModifiedJulianDate(70, 1, 1), 40587);
}

TEST(StbProtocol, DataRequestsAreAnsweredWithExactlyTheImageBytes) {
    ProtocolRig rig;
    const std::size_t size = rig.Image().size();
    struct Case {
        std::uint32_t offset;
        std::uint16_t length;
        std::size_t expected;
    };
    const Case cases[] = {
        {0, 256, 256},             // one piece
        {4096, 1000, 1000},        // 256 + 256 + 256 + 232
        {0x0302, 0x0203, 0x0203},  // payload bytes that look like STX and ETX
        {static_cast<std::uint32_t>(size - 100), 1000, 100},  // partly past the end
        {static_cast<std::uint32_t>(size), 512, 0},           // at the end: nothing
        {123, 0, 0},                                          // length 0: nothing
    };
    for (const Case& c : cases) {
        rig.BoxSends(DataRequest(c.offset, c.length));
        rig.Notify();
        EXPECT_EQ(rig.ToolSentExactly(c.expected), rig.ImageSlice(c.offset, c.expected))
            << "offset " << c.offset << " length " << c.length;
        EXPECT_EQ(rig.state.m_nOffset, static_cast<std::int64_t>(c.offset) + c.length);
    }
    EXPECT_TRUE(rig.ToolSent().empty());
    EXPECT_EQ(rig.Log(), "");
}

TEST(StbProtocol, LargestBlockGoesOutWholeWhileTheBoxReadsAndKeepsTheBoxHeard) {
    ProtocolRig rig(70000);
    // A pty holds a few KiB: the box must read while the tool writes.
    auto reader = std::async(std::launch::async, [&] { return rig.ToolSentExactly(65535); });
    const auto asked = std::chrono::steady_clock::now();
    rig.BoxSends(DataRequest(1000, 65535));
    rig.Notify();
    EXPECT_EQ(reader.get(), rig.ImageSlice(1000, 65535));
    EXPECT_EQ(rig.ProgressText(), "( 66535 / 70000 ) Bytes");
    EXPECT_EQ(rig.Position(), 9500);
    // A box being answered is not silent: it counts as heard until the answer has left the
    // wire, 10 bits a byte at 115200 baud (5.7 s), however soon the writes returned.
    EXPECT_GE(rig.state.m_tally.lastHeard - asked,
              std::chrono::microseconds(65535 * 10 * 1000000LL / 115200));

    // Past the end: nothing sent, the figures still follow the request, the bar stops full.
    rig.BoxSends(DataRequest(80000, 100));
    rig.Notify();
    EXPECT_TRUE(rig.ToolSent().empty());
    EXPECT_EQ(rig.ProgressText(), "( 80100 / 70000 ) Bytes");
    EXPECT_EQ(rig.Position(), 10000);
}

TEST(StbProtocol, ConsoleTextIsEchoedAroundFramesAndBadFramesAreNotAnswered) {
    ProtocolRig rig;
    rig.BoxSends({'O', 'K', '\r', '\n', 0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    EXPECT_EQ(rig.Log(), "OK\r\n");

    // The last byte is not ETX: no answer, only that byte is echoed.
    rig.BoxSends({0x02, 0x01, 'A'});
    rig.Notify();
    // A NUL outside a frame formats to nothing.
    rig.BoxSends({'x', 0x00, 'y'});
    rig.Notify();
    EXPECT_EQ(rig.Log(), "OK\r\nAxy");
    EXPECT_TRUE(rig.ToolSent().empty());
}

TEST(StbProtocol, OneFramePerNotification) {
    ProtocolRig rig;
    rig.BoxSends({0x02, 0x01, 0x03, 0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    EXPECT_EQ(rig.link.m_rxRing.GetCount(), 3);  // the second frame waits
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
    EXPECT_EQ(rig.link.m_rxRing.GetCount(), 0);
}

TEST(StbProtocol, FrameSplitAcrossBatchesIsCompletedInOneScan) {
    ProtocolRig rig;
    // A capture hears the box's bytes in the runs that came apart, and the answer's bytes.
    struct Wire : DownloadObserver {
        std::vector<std::pair<std::string, std::chrono::steady_clock::time_point>> runs;
        std::string sent;
        void OnBoxBytes(std::string_view bytes,
                        std::chrono::steady_clock::time_point when) override {
            runs.emplace_back(bytes, when);
        }
        void OnDataSent(std::uint32_t, std::uint16_t, std::string_view bytes) override {
            sent = bytes;
        }
    } wire;
    rig.observers.Add(&wire);
    rig.BoxSends({0x02});
    // The rest comes while the scan waits for the command byte.
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        rig.pty.WriteAll(Bytes{0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03});
    });
    rig.Notify();
    late.join();
    EXPECT_EQ(rig.ToolSentExactly(256), rig.ImageSlice(0, 256));
    // How the pty hands the late bytes over is up to the kernel: one read or several.
    std::string heard;
    for (std::size_t i = 0; i < wire.runs.size(); ++i) {
        heard += wire.runs[i].first;
        if (i > 0) {
            EXPECT_GE(wire.runs[i].second, wire.runs[i - 1].second);
        }
    }
    EXPECT_EQ(heard, std::string("\x02\x02\x00\x01\x00\x00\x00\x00\x03", 9));
    const Bytes block = rig.ImageSlice(0, 256);
    EXPECT_EQ(wire.sent, std::string(block.begin(), block.end()));
}

TEST(StbProtocol, ByteThatNeverComesEndsTheScanWithoutAnAnswer) {
    ProtocolRig rig;
    rig.SetDebug(true);
    // STX and a data-request command, then the box falls silent.
    rig.BoxSends({0x02, 0x02, 0x10});
    rig.Notify();
    EXPECT_TRUE(rig.ToolSent().empty());
    EXPECT_EQ(rig.Log(), "");  // nothing echoed for bytes that did not come
    // The next frame is read afresh.
    rig.BoxSends({0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03}));
}

TEST(StbProtocol, BytesWaitWhileNoDownloadRuns) {
    ProtocolRig rig;
    rig.CloseImage();
    rig.BoxSends({'h', 'i', 0x02, 0x01, 0x03});
    rig.Notify();
    EXPECT_EQ(rig.link.m_rxRing.GetCount(), 5);
    EXPECT_EQ(rig.Log(), "");
    EXPECT_TRUE(rig.ToolSent().empty());
}

TEST(StbProtocol, ExitAppBeepsFillsTheBarAndStops) {
    for (const std::size_t size : {5000u, 0u}) {
        SCOPED_TRACE(size);
        ProtocolRig rig(size);
        rig.SetDebug(true);
        rig.BoxSends({0x02, 0x04, 0x03});
        rig.Notify();
        ASSERT_EQ(rig.host.Beeps().size(), 2u);
        EXPECT_EQ(rig.host.Beeps()[0].frequencyHz, 700u);
        EXPECT_EQ(rig.host.Beeps()[0].durationMs, 100u);
        EXPECT_EQ(rig.host.Beeps()[1].frequencyHz, 750u);
        const std::string n = std::to_string(size);
        EXPECT_EQ(rig.ProgressText(), "( " + n + " / " + n + " ) Bytes");
        EXPECT_EQ(rig.Position(), 10000);
        EXPECT_EQ(rig.startStops, 1);
        EXPECT_EQ(rig.lastEnd, EndReason::Passed);
        EXPECT_EQ(rig.Log(), "EXIT_APP from STB\r\n");
        EXPECT_TRUE(rig.ToolSent().empty());
    }
}

TEST(StbProtocol, AnAnswerIsHeardOnTheWireForAsLongAsTheLinesRateTakes) {
    ProtocolRig rig(5000);
    rig.state.m_lineBaud = 9600;
    const auto asked = std::chrono::steady_clock::now();
    rig.BoxSends(DataRequest(0, 4800));
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(4800), rig.ImageSlice(0, 4800));
    // 4800 bytes at 9600 baud, 10 bits a byte: 5 s, where 115200 would give 0.42 s.
    EXPECT_GE(rig.state.m_tally.lastHeard - asked, std::chrono::seconds(5));
}

TEST(StbProtocol, AWholeImageIsRequiredOnlyWhereAskedAndCountsWhatWasSent) {
    struct Case {
        bool requireWhole;
        std::vector<std::pair<std::uint32_t, std::uint16_t>> asked;
        EndReason end;
    };
    const std::vector<Case> cases{
        {false, {{0, 1000}}, EndReason::Passed},
        {true, {{0, 1000}}, EndReason::ImageNotWhole},
        // Asked for twice over, the first byte missing: still not whole.
        {true, {{1, 3000}, {1, 3000}}, EndReason::ImageNotWhole},
        {true, {{2000, 1000}, {0, 2000}}, EndReason::Passed},
        {true, {{0, 60000}}, EndReason::Passed},  // past the end is no gap
    };
    for (const Case& c : cases) {
        ProtocolRig rig(3000);
        rig.state.m_requireWhole = c.requireWhole;
        for (const auto& [offset, length] : c.asked) {
            rig.BoxSends(DataRequest(offset, length));
            rig.Notify();
            EXPECT_EQ(rig.ToolSentExactly(rig.ImageSlice(offset, length).size()),
                      rig.ImageSlice(offset, length));
        }
        rig.BoxSends(kExitAppRequest);
        rig.Notify();
        EXPECT_EQ(rig.lastEnd, c.end);
    }
}

TEST(StbProtocol, AGatedStartIsHeldWithNoImageByteAndEveryStartHeldIsAnsweredOnceLetGo) {
    struct Held final : DownloadObserver {
        int told = 0;
        void OnStartHeld() override { ++told; }
    } held;
    ProtocolRig rig(3000);
    rig.observers.Add(&held);
    rig.state.m_startGated = true;
    for (int k = 0; k < 3; ++k) {  // a box repeats its START while it is not answered
        rig.BoxSends(kStartRequest);
        rig.Notify();
    }
    rig.BoxSends(DataRequest(0, 100));  // and one that asks anyway gets nothing
    rig.Notify();
    EXPECT_TRUE(rig.ToolSent().empty());
    EXPECT_EQ(rig.state.m_tally.bytesSent, 0);
    EXPECT_EQ(held.told, 1) << "told once a download";
    EXPECT_EQ(rig.state.m_startsHeld, 3);
    rig.state.m_startGated = false;
    rig.protocol.AnswerHeldStarts();
    EXPECT_EQ(rig.ToolSentExactly(12),
              (Bytes{0x02, 0x01, 0x0A, 0x03, 0x02, 0x01, 0x0A, 0x03, 0x02, 0x01, 0x0A, 0x03}));
    rig.protocol.AnswerHeldStarts();
    EXPECT_TRUE(rig.ToolSent().empty()) << "each START is answered once";
    rig.BoxSends(DataRequest(0, 100));
    rig.Notify();
    EXPECT_EQ(rig.ToolSentExactly(100), rig.ImageSlice(0, 100));
    rig.observers.Remove(&held);
}

TEST(StbProtocol, AUnitsRegionIsServedInPlaceOfTheImagesBytesAndMustAllReachThePort) {
    const std::string region =
        std::string("SN00001007") + std::string(6, '\0') + "\xAA\xBB\xCC\x01\x02\x03";
    {
        ProtocolRig rig(3000);
        rig.state.m_overlay = ImageOverlay{1000, region};
        // A block that begins before the region and ends inside it, then the rest.
        rig.BoxSends(DataRequest(990, 20));
        rig.Notify();
        std::vector<std::uint8_t> expected = rig.ImageSlice(990, 10);
        expected.insert(expected.end(), region.begin(), region.begin() + 10);
        EXPECT_EQ(rig.ToolSentExactly(20), expected);
        rig.BoxSends(DataRequest(1010, 2000));
        rig.Notify();
        expected.assign(region.begin() + 10, region.end());
        const std::vector<std::uint8_t> after = rig.ImageSlice(1000 + region.size(), 3000);
        expected.insert(expected.end(), after.begin(), after.end());
        EXPECT_EQ(rig.ToolSentExactly(1990), expected);
        rig.BoxSends(kExitAppRequest);
        rig.Notify();
        EXPECT_EQ(rig.lastEnd, EndReason::Passed);
        // The file itself is untouched.
        EXPECT_EQ(rig.ImageSlice(1000, 2),
                  (std::vector<std::uint8_t>{rig.Image()[1000], rig.Image()[1001]}));
    }
    {
        // A job with a [unit]: a data request that comes before the box's own data waits for
        // it, then is answered with it; nothing of the image went out before. The image as
        // served hashes with the region written in.
        ProtocolRig rig(3000);
        rig.state.m_unitWanted = true;
        rig.BoxSends({0x02, 0x01, 0x03});
        rig.Notify();
        EXPECT_EQ(rig.ToolSentExactly(4), (Bytes{0x02, 0x01, 0x0A, 0x03})) << "START is not held";
        rig.BoxSends(DataRequest(900, 200));
        rig.Notify();
        rig.protocol.AnswerHeldRequest();
        EXPECT_TRUE(rig.ToolSent().empty());
        EXPECT_EQ(rig.state.m_tally.bytesSent, 0);
        const ImageOverlay overlay{1000, region};
        rig.state.m_overlay = overlay;
        rig.protocol.AnswerHeldRequest();
        std::vector<std::uint8_t> expected = rig.ImageSlice(900, 200);
        std::copy(region.begin(), region.end(), expected.begin() + 100);
        EXPECT_EQ(rig.ToolSentExactly(200), expected);
        EXPECT_EQ(rig.state.m_tally.overlaySent.Bytes(), static_cast<std::int64_t>(region.size()));
        rig.protocol.AnswerHeldRequest();
        EXPECT_TRUE(rig.ToolSent().empty()) << "a held request is answered once";
        std::vector<std::uint8_t> served = rig.Image();
        std::copy(region.begin(), region.end(), served.begin() + 1000);
        EXPECT_EQ(ServedSha256(rig.state, overlay),
                  Sha256Hex(Sha256OfBytes(served.data(), served.size())));
        EXPECT_EQ(*ImageBytes(rig.state, 998, 4),
                  std::string(rig.Image().begin() + 998, rig.Image().begin() + 1002))
            << "the base image's bytes, not the served ones";
    }
    {
        // A box that skips one byte of its region fails, even when the whole image is not asked.
        ProtocolRig rig(3000);
        rig.state.m_overlay = ImageOverlay{1000, region};
        rig.BoxSends(DataRequest(0, 1010));
        rig.Notify();
        EXPECT_EQ(rig.ToolSentExactly(1010).size(), 1010u);
        rig.BoxSends(DataRequest(1011, 1000));
        rig.Notify();
        EXPECT_EQ(rig.ToolSentExactly(1000).size(), 1000u);
        rig.BoxSends(kExitAppRequest);
        rig.Notify();
        EXPECT_EQ(rig.lastEnd, EndReason::UnitNotDelivered);
    }
}
