// A slot's status as its state topic carries it: written with words, read back whole, an earlier
// version's payload still read, and whatever a hostile publisher sends read at a bounded cost.

#include "download/SlotStatusCodec.h"

#include <gtest/gtest.h>

#include "record/BoxRecordCodec.h"

namespace {

SlotStatus Failed() {
    SlotStatus s;
    s.slot = "A3";
    s.state = SlotState::PortAbsent;
    s.figures.percent = 23;
    s.passes = 3;
    s.fails = 1;
    s.firstPasses = 2;
    s.last = LastVerdict{BoxResult::Fail,
                         "port lost at 23 % (5.2 s)",
                         "port-lost",
                         "SN-7",
                         *FromIsoUtcMillis("2026-12-07T02:31:07.120Z"),
                         2};
    s.port = PortProblem{PortTrouble::Lost, "/dev/pts/1: read: Input/output error"};
    return s;
}

TEST(SlotStatusCodec, WritesWordsInAFixedOrderAndReadsTheSameStatusBack) {
    const SlotStatus failed = Failed();
    EXPECT_EQ(SlotStatusLine(failed),
              R"x({"state":"port-absent","percent":23,"rate":0,"eta":null,"passes":3,"fails":1,)x"
              R"x("aborts":0,"stalled":null,"last":{"result":"fail","reason":"port lost at 23 % )x"
              R"x((5.2 s)","reason_code":"port-lost","box_id":"SN-7","end":)x"
              R"x("2026-12-07T02:31:07.120Z","attempt":2},"port_problem":{"trouble":"lost",)x"
              R"x("text":"/dev/pts/1: read: Input/output error"},"hint":null,"warning":null,)x"
              R"x("first_passes":2,"scan":null,"schema":4})x");

    SlotStatus loading;
    loading.state = SlotState::Loading;
    loading.figures.percent = 42;
    loading.figures.rate = 11520.4;
    loading.figures.etaSeconds = 31.2;
    SlotStatus stalled = loading;
    stalled.figures.rate = 0;
    stalled.figures.etaSeconds.reset();
    stalled.figures.stalledSeconds = 6;
    SlotStatus talking;
    talking.state = SlotState::NoRequest;
    talking.hint = "is it in download mode?";
    talking.warning = "unit pool low: mac has 499 value(s) left (warn_below = 500)";
    SlotStatus busy;
    busy.state = SlotState::PortBusy;
    busy.port = PortProblem{PortTrouble::Busy, "/dev/ttyUSB0: open: held by minicom (pid 4711)"};
    busy.last = LastVerdict{BoxResult::Aborted, "stopped by the operator", "operator-stop", "", {}};

    SlotStatus unlabelled;
    unlabelled.last = LastVerdict{BoxResult::Pass, "", "passed", "SN-8", {}, 1, true};
    EXPECT_NE(SlotStatusLine(unlabelled).find(R"("attempt":1,"label_missed":true})"),
              std::string::npos);
    for (SlotStatus sent : {failed, loading, stalled, talking, busy, unlabelled}) {
        const std::optional<SlotStatusRead> read = ParseSlotStatus(SlotStatusLine(sent));
        ASSERT_TRUE(read) << SlotStatusLine(sent);
        EXPECT_EQ(read->schema, kSlotStatusSchema);
        EXPECT_EQ(read->unknownState, "");
        sent.slot.clear();  // the topic names the slot, not the payload
        sent.figures.rate = std::round(sent.figures.rate);
        if (sent.figures.etaSeconds) {
            sent.figures.etaSeconds = std::round(*sent.figures.etaSeconds);
        }
        EXPECT_EQ(read->status, sent) << SlotStatusLine(sent);
    }
    EXPECT_NE(SlotStatusLine(stalled).find(R"("rate":0,"eta":null,)"), std::string::npos);
    EXPECT_NE(SlotStatusLine(stalled).find(R"("stalled":6,)"), std::string::npos);
    EXPECT_NE(SlotStatusLine(talking).find(R"("hint":"is it in download mode?")"),
              std::string::npos);
}

TEST(SlotStatusCodec, AnEarlierStationsPayloadReadsWithNoVerdictAndAnUnknownWordAsItCame) {
    const std::optional<SlotStatusRead> old = ParseSlotStatus(
        R"({"state":"loading","percent":42,"rate":11520,"eta":31,"passes":3,"fails":0,"aborts":1})");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->schema, 1);
    EXPECT_EQ(old->status.state, SlotState::Loading);
    EXPECT_EQ(old->status.figures.etaSeconds, 31);
    EXPECT_EQ(old->status.aborts, 1);
    EXPECT_EQ(old->status.firstPasses, 3) << "before retries every pass was a first one";
    EXPECT_FALSE(old->status.last);
    EXPECT_FALSE(old->status.port);
    EXPECT_FALSE(old->status.figures.stalledSeconds);

    // A later version's words: its state as it came; a trouble this one does not know is still
    // a port that cannot serve; a verdict of no known result is none.
    const std::optional<SlotStatusRead> later = ParseSlotStatus(
        R"({"state":"flashing","port_problem":{"trouble":"unpowered","text":"hub off"},)"
        R"("last":{"result":"maybe"},"schema":4,"future":[1,2]})");
    ASSERT_TRUE(later);
    EXPECT_EQ(later->unknownState, "flashing");
    EXPECT_EQ(later->schema, 4);
    ASSERT_TRUE(later->status.port);
    EXPECT_EQ(later->status.port->trouble, PortTrouble::Absent);
    EXPECT_EQ(later->status.port->text, "hub off");
    EXPECT_FALSE(later->status.last);
    EXPECT_EQ(ParseSlotStatus("{}")->unknownState, "?");
}

TEST(SlotStatusCodec, AHostilePayloadCostsABoundedAmount) {
    const std::string huge(150'000, 'x');
    const std::optional<SlotStatusRead> read = ParseSlotStatus(
        R"({"state":")" + huge +
        R"(","percent":1e300,"rate":-5,"eta":1e300,"stalled":-1,)"
        R"("passes":1e300,"fails":-3,"aborts":"many","hint":")" +
        huge + R"(","last":{"result":"fail","reason":")" + huge + R"(","box_id":")" + huge +
        R"("},"port_problem":{"trouble":"busy","text":")" + huge + R"("}})");
    ASSERT_TRUE(read);
    const SlotStatus& s = read->status;
    EXPECT_LE(read->unknownState.size(), 40u);
    EXPECT_EQ(s.figures.percent, 100);
    EXPECT_EQ(s.figures.rate, 0);
    EXPECT_EQ(s.figures.etaSeconds, 1e9);
    EXPECT_EQ(s.figures.stalledSeconds, 0);
    EXPECT_EQ(s.passes, 1'000'000'000);
    EXPECT_EQ(s.fails, 0);
    EXPECT_EQ(s.aborts, 0);
    EXPECT_LE(s.hint.size(), 300u);
    ASSERT_TRUE(s.last);
    EXPECT_LE(s.last->reason.size(), 500u);
    EXPECT_LE(s.last->boxId.size(), 200u);
    ASSERT_TRUE(s.port);
    EXPECT_LE(s.port->text.size(), 500u);
    // A text cut at its bound ends on a whole character.
    const std::optional<SlotStatusRead> wide =
        ParseSlotStatus(R"({"hint":")" + std::string(299, 'a') + "\u00e9" + R"("})");
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->status.hint, std::string(299, 'a'));

    EXPECT_FALSE(ParseSlotStatus("[1,2]"));
    EXPECT_FALSE(ParseSlotStatus("online"));
    EXPECT_FALSE(ParseSlotStatus(std::string(40, '[') + std::string(40, ']'))) << "too deep";
    EXPECT_FALSE(ParseSlotStatus(R"({"hint":")" + std::string(2 << 20, 'x') + R"("})"))
        << "over the size a payload may have";
}

}  // namespace
