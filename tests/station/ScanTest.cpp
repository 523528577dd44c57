// Scans, in memory: where an operator's scan goes and what is refused, when a slot's box has its
// START answered (scanned, checked against its console, refused as a repeat), and a station that
// gives each scan to its slot, switches the box on only then, names the box in its record by
// the scan, and refuses a box that passed before.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "record/BoxRecordCodec.h"
#include "slot/ScanGate.h"
#include "station/ScanDesk.h"
#include "station/Station.h"
#include "tests/station/FakeClockStation.h"
#include "tests/station/HandSwitches.h"
#include "tests/station/MemoryTransport.h"

namespace {

using Kind = DownMessage::Kind;

TEST(ScanDesk, AScanGoesToTheSelectedSlotOrTheNextThatWaitsAndABadOneChangesNothing) {
    ScanDesk desk({"A1", "A2", "A3"}, "SLOT:");
    const std::vector<bool> all{true, true, true};
    using K = ScanRoute::Kind;

    ScanRoute route = desk.Route("SN1\r\n", all);  // a scanner ends its line as it likes
    EXPECT_EQ(route.kind, K::Box);
    EXPECT_EQ(route.slot, 0u);
    EXPECT_EQ(route.id, "SN1");
    desk.Given(0, all);
    EXPECT_EQ(desk.Target({false, true, true}), 1u) << "the highlight moves on";

    // A slot's own label selects it, the prefix in any case; then a box goes there.
    EXPECT_EQ(desk.Route("slot:A3", {false, true, true}).kind, K::Select);
    EXPECT_EQ(desk.Target({false, true, true}), 2u);
    route = desk.Route("SN2", {false, true, true});
    EXPECT_EQ(route.slot, 2u);
    desk.Given(2, {false, true, true});
    EXPECT_EQ(desk.Target({false, true, false}), 1u) << "on past the end, to the first waiting";

    // "A2 SN 3": a slot's name, then an id that may hold a blank.
    route = desk.Route("A2 SN 3", {false, true, false});
    EXPECT_EQ(route.kind, K::Box);
    EXPECT_EQ(route.slot, 1u);
    EXPECT_EQ(route.id, "SN 3");
    // No slot waits: the next to wait after the last one given gets the next scan.
    desk.Given(1, {false, true, false});
    EXPECT_EQ(desk.Target({true, false, true}), 2u);

    const auto refused = [&desk](std::string_view scan, const std::vector<bool>& waits) {
        const ScanRoute r = desk.Route(scan, waits);
        EXPECT_EQ(r.kind, K::Refused) << scan;
        return r.why;
    };
    EXPECT_EQ(refused(" \t\r\n", all), "empty scan");
    EXPECT_EQ(refused(std::string(129, 'x'), all), "scan longer than 128 characters");
    // 128 characters of two bytes each are not too long.
    EXPECT_EQ(desk.Route(
                      std::string(64, 'x') +
                          [] {
                              std::string s;
                              for (int i = 0; i < 64; ++i) {
                                  s += "\xC3\xA9";
                              }
                              return s;
                          }(),
                      all)
                  .kind,
              K::Box);
    EXPECT_EQ(refused("SLOT:Z\x1b[2J", all), "no slot Z\\x1B[2J") << "never shown raw";
    EXPECT_EQ(refused("SLOT:A1", {false, true, true}), "A1 does not wait for a scan");
    EXPECT_EQ(refused("A1 SN9", {false, true, true}), "A1 does not wait for a scan");
    EXPECT_EQ(refused("SN9", {false, false, false}), "no slot waits for a scan");
    EXPECT_EQ(desk.Target({true, false, true}), 2u) << "a refusal moves nothing";
}

TEST(ScanGate, TheStartWaitsForItsScanAndAWrongOrRepeatedBoxFailsBeforeIt) {
    ScanGate gate(true);
    gate.Started();
    EXPECT_EQ(gate.Next(), ScanGate::Step::Hold);
    gate.Identified("SN9");  // the box printed its id before its START
    EXPECT_EQ(gate.Next(), ScanGate::Step::Hold) << "nothing to compare with yet";
    gate.Scanned("SN2");
    ASSERT_EQ(gate.Next(), ScanGate::Step::Fail);
    DownloadEnded why = gate.Failure();
    EXPECT_EQ(why.reason, EndReason::BoxMismatch);
    EXPECT_EQ(why.failure.reason, "wrong box in socket: scanned SN2, box says SN9");
    // The operator scans the right label: the same box loads.
    gate.Scanned("SN9");
    EXPECT_EQ(gate.Next(), ScanGate::Step::Answer);
    gate.BoxEnded();
    gate.Started();
    EXPECT_EQ(gate.Next(), ScanGate::Step::Hold) << "every box needs a scan of its own";

    // A refusal travels with its scan, and holds only for the box it names.
    gate.Scanned("SN1", "box SN1 already passed: ...");
    ASSERT_EQ(gate.Next(), ScanGate::Step::Fail);
    EXPECT_EQ(gate.Failure().reason, EndReason::BoxRepeat);
    gate.Scanned("SN3");
    EXPECT_EQ(gate.Next(), ScanGate::Step::Answer);
    ScanGate console(false);  // no scans: only the box's console names it
    console.Started();
    EXPECT_EQ(console.Next(), ScanGate::Step::Answer);
    console.Refused("SN1", "box SN1 already passed: ...");  // late, for a box gone
    console.Identified("SN4");
    EXPECT_EQ(console.Next(), ScanGate::Step::Answer) << "another box is not refused";
    console.Identified("SN1");
    EXPECT_EQ(console.Next(), ScanGate::Step::Fail);
}

struct HeardScans final : StationObserver {
    std::vector<ScanNews> scans;
    std::vector<std::string> notes;
    void OnMessage(const std::string& text) override { notes.push_back(text); }
    std::vector<BoxRecord> records;
    std::vector<SlotStatus> slots;
    void OnScan(const ScanNews& news) override { scans.push_back(news); }
    void OnBoxJudged(const std::string&, const BoxRecord& record, const std::string&,
                     const std::string&) override {
        records.push_back(record);
    }
    void OnSlots(const std::vector<SlotStatus>& all) override { slots = all; }
    void OnSlotChanged(const SlotStatus& status) override {
        for (SlotStatus& slot : slots) {
            slot = slot.slot == status.slot ? status : slot;
        }
    }
};

class ScanStation : public FakeClockStation {
  protected:
    ~ScanStation() override { station.reset(); }

    // What the slot was last given to scan: its id and why it is refused.
    static std::pair<std::string, std::string> LastScan(const MemoryTransport::Peer& peer) {
        std::pair<std::string, std::string> last;
        for (const DownMessage& m : peer.Sent()) {
            if (m.kind == Kind::Input && m.input.kind == SlotInput::Kind::ScannedBoxId) {
                last = {m.input.value, m.input.why};
            }
        }
        return last;
    }
    ScanNews Scan(const std::string& text) {
        station->AskScan(text);
        station->Listen(std::chrono::milliseconds(0));
        station->TakeAsks();
        return heard.scans.empty() ? ScanNews{} : heard.scans.back();
    }
    // A box's session on the slot, up to its START held for its scan.
    void HeldBox(MemoryTransport::Peer& peer) {
        peer.Event(DownloadStarted{});
        peer.Event(FirstFrameSeen{});
        peer.Event(SlotStateChanged{SlotState::WaitingForScan, {}});
        station->Listen(std::chrono::milliseconds(0));
    }
    // ... loaded and passed; its console named it `console`.
    void Passes(MemoryTransport::Peer& peer, const std::string& id, const std::string& slot,
                const std::string& console) {
        peer.Event(SlotStateChanged{SlotState::Loading, {}});
        BoxRecord record;
        record.id = id;
        record.result = BoxResult::Pass;
        record.reasonCode = "passed";
        record.slot = slot;
        record.boxId = console;
        peer.Say(RecordMessage(record));
        peer.Event(DownloadEnded{EndReason::Passed, {}, {}});
        station->Listen(std::chrono::milliseconds(0));
    }

    HandSwitches switches;
    HeardScans heard;
};

TEST_F(ScanStation, EachBoxIsSwitchedOnByItsScanNamedByItAndARepeatIsRefusedBeforeAnyByte) {
    StationConfig config = Config(2);
    config.scan = ScanPolicy{true, "SLOT:", true};
    config.power = PowerPlan{};
    config.switches = &switches;
    BeginGreeted(config, &heard);
    EXPECT_TRUE(switches.asked.empty()) << "no box is switched on before it is scanned";
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    ASSERT_TRUE(a1.Sent()[1].config.scanRequired);
    HeldBox(a2);
    Advance(std::chrono::seconds(1));
    ASSERT_EQ(heard.slots.size(), 2u);
    EXPECT_EQ(heard.slots[0].scan, (SlotScan{true, true, ""})) << "the first slot is next";
    EXPECT_EQ(heard.slots[1].state, SlotState::WaitingForScan);

    // The operator picks the slot whose box asks, and scans the box.
    EXPECT_EQ(Scan("SLOT:A2").text, "A2: the next scan goes to this slot");
    const ScanNews given = Scan("SN1");
    EXPECT_FALSE(given.refused);
    EXPECT_EQ(given.slot, "A2");
    EXPECT_EQ(LastScan(a2), (std::pair<std::string, std::string>{"SN1", ""}));
    using P = std::pair<std::size_t, PowerAction>;
    EXPECT_EQ(switches.asked, (std::vector<P>{{1, PowerAction::On}}));
    switches.Finish(1, PowerAction::On);
    EXPECT_EQ(heard.slots[0].scan, (SlotScan{true, true, ""})) << "A1 is next now";
    EXPECT_EQ(heard.slots[1].scan, (SlotScan{false, false, "SN1"}));
    EXPECT_EQ(Scan("SN1").text, "scan refused: box SN1 is already scanned for A2");
    EXPECT_EQ(Scan("A2 SN5").text, "scan refused: A2 does not wait for a scan");

    Passes(a2, "rec-1", "A2", "what the console said");
    ASSERT_EQ(heard.records.size(), 1u);
    EXPECT_EQ(heard.records[0].boxId, "SN1") << "the box is the one its label names";
    EXPECT_EQ(switches.asked.back(), (P{1, PowerAction::Off})) << "off until the next scan";
    EXPECT_TRUE(heard.slots[1].scan->waits);

    // The same box again, on the other slot: refused with when and where, and not switched on.
    const ScanNews again = Scan("A1 SN1");
    EXPECT_EQ(again.slot, "A1");
    const auto [id, why] = LastScan(a1);
    EXPECT_EQ(id, "SN1");
    EXPECT_TRUE(why.starts_with("box SN1 already passed: ")) << why;
    EXPECT_NE(why.find(", slot A2, record rec-1"), std::string::npos) << why;
    EXPECT_NE(again.text.find("it gets no byte"), std::string::npos) << again.text;
    EXPECT_EQ(switches.asked.size(), 2u) << "a refused box stays off";

    // A slot started again still has its box's scan.
    a1.Crash(9);
    station->Listen(std::chrono::milliseconds(0));
    Advance(std::chrono::seconds(2));
    MemoryTransport::Peer* again1 = slots_.At(0, 1);
    ASSERT_NE(again1, nullptr);
    EXPECT_EQ(LastScan(*again1).first, "SN1");
}

TEST_F(ScanStation, AJobWithoutScansRefusesThemAndABlockedRepeatIsToldFromTheConsole) {
    StationConfig config = Config(1);
    config.scan.blockRepeats = true;
    BeginGreeted(config, &heard);
    MemoryTransport::Peer& a1 = *slots_.At(0);
    const ScanNews news = Scan("SN1");
    EXPECT_TRUE(news.refused);
    EXPECT_EQ(news.text, "scan refused: this job takes no scans (it has no scan = \"required\")");
    HeldBox(a1);
    Passes(a1, "rec-1", "A1", "SN1");
    a1.Event(DownloadStarted{});
    a1.Event(BoxSpoke{"SN1"});
    station->Listen(std::chrono::milliseconds(0));
    bool refused = false;
    for (const DownMessage& m : a1.Sent()) {
        refused =
            refused || (m.kind == Kind::Input && m.input.kind == SlotInput::Kind::BoxRefused &&
                        m.input.value == "SN1" && m.input.why.starts_with("box SN1 already"));
    }
    EXPECT_TRUE(refused);
}

TEST_F(ScanStation, TheLabelOfASlotsLastPassIsPrintedAgainFromItsRecord) {
    StationConfig config = Config(2);
    config.slot.labelZpl = "^XA^FD{box_id} {slot}^FS^XZ\n";
    config.slot.printer = "dir:" + dir.File("labels");
    BeginGreeted(config, &heard);
    MemoryTransport::Peer& a1 = *slots_.At(0);
    HeldBox(a1);
    Passes(a1, "rec-7", "A1", "SN^7");
    EXPECT_FALSE(station->AskReprint("Z9"));
    ASSERT_TRUE(station->AskReprint("A2"));
    ASSERT_TRUE(station->AskReprint("A1"));
    // The label is sent from a thread of its own, which wakes the supervisor when it is done.
    for (int turn = 0; turn < 100 && heard.notes.size() < 2; ++turn) {
        station->Listen(std::chrono::milliseconds(100));
        station->TakeAsks();
    }
    ASSERT_EQ(heard.notes.size(), 2u);
    EXPECT_EQ(heard.notes[0], "A2: no label to print again: no box has passed on it");
    EXPECT_EQ(heard.notes[1], "A1: label of box SN^7 printed again");
    EXPECT_EQ(ReadBytes(dir.File("labels/rec-7.zpl")), "^XA^FH_^FDSN_5E7 A1^FS^XZ\n")
        << "filled from the record, escaped as before";
}

// A box held at its START for its scan is in flight: a gentle finish still takes its scan, while
// a slot without a box in hand takes none for a box it will never serve.
TEST_F(ScanStation, AGentleFinishStillTakesTheScanOfABoxHeldForIt) {
    StationConfig config = Config(2);
    config.scan.required = true;
    BeginGreeted(config, &heard);
    MemoryTransport::Peer& a1 = *slots_.At(0);
    MemoryTransport::Peer& a2 = *slots_.At(1);
    HeldBox(a2);
    station->TakeAsks();
    ASSERT_EQ(heard.slots.size(), 2u);
    EXPECT_TRUE(heard.slots[0].scan->waits) << "its next box may be scanned before it speaks";
    EXPECT_TRUE(heard.slots[1].scan->waits);
    station->AskFinish();
    station->Listen(std::chrono::milliseconds(0));
    station->TakeAsks();
    EXPECT_FALSE(heard.slots[0].scan->waits) << "it takes no other box";
    EXPECT_TRUE(heard.slots[1].scan->next) << "the next scan goes to the box held";
    EXPECT_EQ(Scan("A1 SN1").text, "scan refused: A1 does not wait for a scan");
    EXPECT_EQ(Scan("SN2").text, "A2: box SN2 scanned");
    EXPECT_TRUE(LastScan(a1).first.empty());
    EXPECT_EQ(LastScan(a2).first, "SN2") << "its START may be answered";
    EXPECT_EQ(heard.slots[1].scan->id, "SN2");
}

}  // namespace
