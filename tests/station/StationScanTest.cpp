// Scans under a gentle finish, in memory: a box held at its START for its scan is in flight, so
// it can still be scanned and finish, while a slot without a box in hand takes no scan for a
// box it will never serve.

#include <gtest/gtest.h>

#include "station/Station.h"
#include "tests/station/FakeClockStation.h"
#include "tests/station/MemoryTransport.h"

namespace {

struct HeardScans final : StationObserver {
    std::vector<ScanNews> news;
    std::vector<SlotStatus> slots;
    void OnScan(const ScanNews& n) override { news.push_back(n); }
    void OnSlots(const std::vector<SlotStatus>& all) override { slots = all; }
    void OnSlotChanged(const SlotStatus& status) override {
        for (SlotStatus& slot : slots) {
            slot = slot.slot == status.slot ? status : slot;
        }
    }
};

class StationScanTest : public FakeClockStation {
  protected:
    void Listen() {
        station->Listen(std::chrono::milliseconds(0));
        station->TakeAsks();
    }
    // A box speaks on the slot (its START), and the slot holds it for its scan.
    static void Held(MemoryTransport::Peer& peer) {
        DownloadStarted started;
        started.imagePath = "/srv/fw.sdl";
        started.imageSize = 65536;
        started.portName = "COM5";
        peer.Event(started);
        peer.Event(FirstFrameSeen{});
        peer.Event(SlotStateChanged{SlotState::WaitingForScan, {}});
    }
    static std::vector<std::string> Scanned(const MemoryTransport::Peer& peer) {
        std::vector<std::string> ids;
        for (const DownMessage& m : peer.Sent()) {
            if (m.kind == DownMessage::Kind::Input &&
                m.input.kind == SlotInput::Kind::ScannedBoxId) {
                ids.push_back(m.input.value);
            }
        }
        return ids;
    }

    HeardScans heard;

    ~StationScanTest() override { station.reset(); }  // it holds the test's observer
};

TEST_F(StationScanTest, AGentleFinishStillTakesTheScanOfABoxHeldForIt) {
    StationConfig config = Config(2);
    config.scan.required = true;
    station = std::make_unique<Station>(config, &heard);
    ASSERT_TRUE(station->Begin());
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    a1.Hello();
    a2.Hello();
    Held(a2);
    Listen();
    ASSERT_EQ(heard.slots.size(), 2u);
    ASSERT_TRUE(heard.slots[0].scan && heard.slots[1].scan);
    EXPECT_TRUE(heard.slots[0].scan->waits) << "its next box may be scanned before it speaks";
    EXPECT_TRUE(heard.slots[1].scan->waits);

    station->AskFinish();
    Listen();
    EXPECT_FALSE(heard.slots[0].scan->waits) << "it takes no other box";
    EXPECT_TRUE(heard.slots[1].scan->next) << "the next scan goes to the box held";
    station->AskScan("A1 SN1");
    station->AskScan("SN2");
    Listen();
    ASSERT_EQ(heard.news.size(), 2u);
    EXPECT_TRUE(heard.news[0].refused);
    EXPECT_EQ(heard.news[0].text, "scan refused: A1 does not wait for a scan");
    EXPECT_FALSE(heard.news[1].refused) << heard.news[1].text;
    EXPECT_EQ(heard.news[1].slot, "A2");
    EXPECT_EQ(heard.news[1].text, "A2: box SN2 scanned");
    EXPECT_TRUE(Scanned(a1).empty());
    EXPECT_EQ(Scanned(a2), std::vector<std::string>{"SN2"}) << "its START may be answered";
    EXPECT_FALSE(heard.slots[0].scan->waits);
    EXPECT_EQ(heard.slots[1].scan->id, "SN2");
}

}  // namespace
