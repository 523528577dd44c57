// A label's template checked and filled in memory: a box's values can never become printer
// commands, a field outside a field's data or a secret one is refused with its line, and a
// label reaches a folder and a raw TCP port whole, or says why not.

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "label/LabelFields.h"
#include "label/LabelPrinter.h"
#include "label/LabelTemplate.h"
#include "platform/base/UniqueFd.h"
#include "tests/support/files/TempDir.h"

namespace {

std::string Refused(const std::string& text) {
    const Result<LabelTemplate> t = LabelTemplate::Parse(text, "pass.zpl");
    return t ? std::string("read") : t.Failure().Describe();
}

TEST(Label, ValuesAreEscapedSoThatABoxIdCannotBecomeCommands) {
    const Result<LabelTemplate> t = LabelTemplate::Parse(
        "^XA\n^FO50,50^FDBox_{box_id}^FS\n^FO9,9^FDfixed_text^FS^fd{serial} {{x}^FS\n^XZ\n",
        "pass.zpl");
    ASSERT_TRUE(t) << t.Failure().Describe();
    ASSERT_EQ(t->Fields().size(), 2u);
    EXPECT_EQ(t->Fields()[0].name, "box_id");
    EXPECT_EQ(t->Fields()[1].line, 3);
    const std::string label = t->Render(
        {{"box_id", "X^XA^FDpwned^FS~JR"}, {"serial", std::string("A_\x01\n\x7f\xc3\xa9")}});
    EXPECT_EQ(label,
              "^XA\n^FO50,50^FH_^FDBox_5FX_5EXA_5EFDpwned_5EFS_7EJR^FS\n"
              "^FO9,9^FDfixed_text^FS^FH_^fdA_5F_01_0A_7F\xc3\xa9 {x}^FS\n^XZ\n");
    // Nothing of the value reaches the printer as ^ or ~.
    const std::string value =
        label.substr(label.find("Box"), label.find("^FS") - label.find("Box"));
    EXPECT_EQ(value.find_first_of("^~"), std::string::npos) << value;

    EXPECT_EQ(Refused("^XA\n^FO{box_id}^FDx^FS"),
              "pass.zpl:2: {box_id} stands outside a field's "
              "data; a value goes only after ^FD, before the "
              "next command");
    EXPECT_EQ(Refused("^XA^FDa^FS {job}"), Refused("^XA^FDa^FS {job}"));
    EXPECT_NE(Refused("^XA^FDa^FS {job}"), "read");
    EXPECT_EQ(Refused("^XA\n\n^FD{box_id^FS"),
              "pass.zpl:3: a { without its } on its line (a literal brace is {{)");
    EXPECT_EQ(Refused("^FD{}^FS"), "pass.zpl:1: an empty field {}");
    EXPECT_NE(Refused("^XA\n^FH\\^FD{box_id}^FS")
                  .find("pass.zpl:2: a ^FD that holds a value has "
                        "its own ^FH"),
              std::string::npos);
    EXPECT_EQ(Refused("^XA^FH^FDplain_text^FS^FD{job}^FS^XZ"), "read")
        << "a ^FH of the template's own field stays its own";
}

TEST(Label, FieldsAreTheBoxsAndItsUnitsButNeverASecretOne) {
    UnitLayout unit;
    unit.fields.push_back({"serial", 0, 8, UnitFormat::Ascii, 0, 0, false});
    unit.fields.push_back({"key", 8, 16, UnitFormat::Hex, 0, 0, true});
    const auto check = [&](const std::string& text, const UnitLayout* u) {
        const Result<LabelTemplate> t = LabelTemplate::Parse(text, "pass.zpl");
        EXPECT_TRUE(t);
        const Result<void> known = CheckLabelFields(*t, "pass.zpl", u);
        return known ? std::string("known") : known.Failure().Describe();
    };
    EXPECT_EQ(check("^FD{box_id}{job}{station}{slot}{time}{serial}^FS", &unit), "known");
    EXPECT_EQ(check("^FD{box_id}^FS\n^FD{serial}^FS", nullptr),
              "pass.zpl:2: unknown field {serial}; a label knows box_id, job, station, slot, time");
    EXPECT_EQ(check("^FD{box_id}^FS\n\n^FD{key}^FS", &unit),
              "pass.zpl:3: {key} is a secret unit field; a label never prints one");
    EXPECT_EQ(check("^FD{mac}^FS", &unit),
              "pass.zpl:1: unknown field {mac}; a label knows box_id, job, station, slot, time, "
              "serial");

    BoxRecord r;
    r.boxId = "SN1";
    r.made.job = "line3";
    r.made.station = "L3";
    r.end = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796610667120LL));
    r.unit = {{{"serial", "SN00001000"}, {"box_id", "not the box's"}}};
    const std::map<std::string, std::string> v = LabelValues(r, "A1");
    EXPECT_EQ(v.at("box_id"), "SN1");
    EXPECT_EQ(v.at("slot"), "A1");
    EXPECT_EQ(v.at("serial"), "SN00001000");
    EXPECT_EQ(v.at("time"), "2026-12-07T02:31:07Z");
    EXPECT_EQ(v.at("station"), "L3");
    EXPECT_EQ(v.at("job"), "line3");
}

TEST(Label, PrintersAreReadAsTheJobGivesThemAndALabelArrivesWholeOrSaysWhy) {
    for (const char* bad : {"tcp://host", "tcp://host:0", "tcp://host:70000", "tcp://:9100",
                            "cups:", "cups:-o", "cups:a b", "lpr:x", "dir:"}) {
        EXPECT_FALSE(ParseLabelPrinter(bad, "/line")) << bad;
    }
    const Result<LabelPrinter> tcp = ParseLabelPrinter("tcp://10.0.3.7:9100", "/line");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->host, "10.0.3.7");
    EXPECT_EQ(tcp->port, "9100");
    EXPECT_EQ(LabelPrinterText(*ParseLabelPrinter("dir:labels", "/line/3")), "dir:/line/3/labels");
    EXPECT_EQ(ParseLabelPrinter("cups:zebra3", "/")->queue, "zebra3");

    TempDir dir;
    const Result<LabelPrinter> folder = ParseLabelPrinter("dir:" + dir.File(""), "/");
    ASSERT_TRUE(SendLabel(*folder, "^XA^XZ", "0b6f2c1e"));
    EXPECT_EQ(ReadBytes(dir.File("0b6f2c1e.zpl")), "^XA^XZ");
    ASSERT_TRUE(SendLabel(*ParseLabelPrinter("dir:" + dir.File("new/labels"), "/"), "^XA", "y"));
    EXPECT_EQ(ReadBytes(dir.File("new/labels/y.zpl")), "^XA") << "a folder made as logs' are";
    const Result<void> notFolder =
        SendLabel(*ParseLabelPrinter("dir:" + dir.File("0b6f2c1e.zpl"), "/"), "^XA", "x");
    ASSERT_FALSE(notFolder);
    EXPECT_NE(notFolder.Failure().Describe().find("0b6f2c1e.zpl/x.zpl.part"), std::string::npos)
        << notFolder.Failure().Describe();

    // A raw port that takes the label, and one nobody listens on.
    UniqueFd listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener.Get(), reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(listener.Get(), 1), 0);
    socklen_t size = sizeof at;
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&at), &size);
    const std::string port = std::to_string(ntohs(at.sin_port));
    std::string received;
    std::thread printer([&] {
        UniqueFd c(accept(listener.Get(), nullptr, nullptr));
        char buffer[4096];
        for (ssize_t n; (n = read(c.Get(), buffer, sizeof buffer)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const std::string big(100000, 'L');
    const Result<void> sent =
        SendLabel(*ParseLabelPrinter("tcp://127.0.0.1:" + port, "/"), big, "x");
    printer.join();
    EXPECT_TRUE(sent) << sent.Failure().Describe();
    EXPECT_EQ(received, big);
    listener = UniqueFd();
    const Result<void> refused =
        SendLabel(*ParseLabelPrinter("tcp://127.0.0.1:" + port, "/"), "^XA", "x");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.Failure().Describe().find("127.0.0.1:" + port), std::string::npos)
        << refused.Failure().Describe();
}

}  // namespace
