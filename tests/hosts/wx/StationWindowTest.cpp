// The desktop station in process under the display: a 4-slot job against the simulated boxes
// (one falls silent) read tile by tile, the verdicts staying when the ports vanish, its records
// equal to those `stavel --job` writes for the same job; a gentle stop with boxes in flight; and 16
// tiles in 1280x800 with the state word's height measured on the window's own pixels. Screenshots
// are kept in the build's artefacts.

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/listbox.h>
#include <wx/menu.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "hosts/wx/UiCalls.h"
#include "hosts/wxstation/StationFrame.h"
#include "platform/digest/Sha256.h"
#include "record/BoxRecordCodec.h"
#include "record/Json.h"
#include "tests/support/files/TempDir.h"
#include "tests/support/printer/RawPort.h"
#include "tests/support/process/ChildProcess.h"

#include <fcntl.h>
#include <unistd.h>

// The toolkit's own libraries keep caches for the process's life (fonts, types, the display);
// the leak checker is told so, and still sees every leak of this tool's code.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libgtk-3.so\nleak:libgdk-3.so\nleak:libglib-2.0.so\n"
           "leak:libgobject-2.0.so\nleak:libgio-2.0.so\nleak:libpango-1.0.so\n"
           "leak:libpangoft2-1.0.so\nleak:libcairo.so\nleak:libharfbuzz.so\nleak:libX11.so\n"
           "leak:libatk-1.0.so\nleak:libatk-bridge-2.0.so\nleak:libdbus-1.so\n";
}

namespace {

std::string Program(const std::string& name) {
    return std::string(STAVEL_BINARY_DIR) + "/bin/" + name;
}

class StationWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_wx";
        static char* argv[] = {name, nullptr};
        wxApp::SetInstance(new wxApp());
        ASSERT_TRUE(wxEntryStart(argc, argv));
        wxInitAllImageHandlers();
        OpenUiCalls();  // as the station's application does once it starts
    }
    static void TearDownTestSuite() {
        CloseUiCalls();
        wxEntryCleanup();
    }

    void TearDown() override {
        if (m_frame != nullptr) {
            // Hidden first: the last window is left on the screen until the idle time this
            // loop never has, where a later test would find it as its own.
            m_frame->Hide();
            m_frame->Destroy();
            Pump([] { return false; }, std::chrono::milliseconds(100));
        }
    }

    // Runs the event loop until `done`, or the deadline; answers `done`.
    static bool Pump(const std::function<bool()>& done,
                     std::chrono::milliseconds deadline = std::chrono::seconds(40)) {
        wxEventLoop loop;
        wxEventLoopActivator active(&loop);
        const auto end = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < end) {
            while (loop.Pending()) {
                loop.Dispatch();
            }
            wxTheApp->ProcessPendingEvents();
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }

    // stbsim playing `boxes` boxes at once; answers their ports, linked as slot1..slotN.
    std::vector<std::string> Boxes(int boxes, std::vector<std::string> extra) {
        std::vector<std::string> args{Program("stbsim"), "--image", m_dir.File("image.sdl"),
                                      "--ptys", std::to_string(boxes)};
        args.insert(args.end(), extra.begin(), extra.end());
        m_sim = std::make_unique<ChildProcess>(args);
        std::vector<std::string> ports;
        for (int k = 1; k <= boxes; ++k) {
            // The whole line: a path cut short would name another program's terminal.
            const std::string line = "box " + std::to_string(k) + " on ";
            EXPECT_TRUE(m_sim->WaitForStdout("\n", k + 1)) << m_sim->Stderr();  // after the image's
            const std::string out = m_sim->Stdout();
            const std::size_t at = out.find(line) + line.size();
            const std::string pts = out.substr(at, out.find('\n', at) - at);
            const std::string link = m_dir.File("slot" + std::to_string(k));
            std::filesystem::remove(link);
            std::filesystem::create_symlink(pts, link);
            ports.push_back(link);
        }
        return ports;
    }

    std::string WriteJob(int slots, const std::string& extra) {
        const std::string image = m_dir.File("image.sdl");
        const UniqueFd fd(open(image.c_str(), O_RDONLY | O_CLOEXEC));
        std::string text =
            "name = \"bench-4\"\nstation = \"B1\"\nimage = \"image.sdl\"\n"
            "sha256 = \"" +
            Sha256OfFile(fd.Get()).hex + "\"\nreport = \"boxes.jsonl\"\nlog_dir = \"logs\"\n" +
            extra + "[slots]\n";
        for (int k = 1; k <= slots; ++k) {
            text += "A" + std::to_string(k) + " = \"slot" + std::to_string(k) + "\"\n";
        }
        WriteBytes(m_dir.File("job.toml"), text);
        return m_dir.File("job.toml");
    }

    StationFrame& Open(const std::string& job, int boxesPerSlot = 0) {
        Result<StationSetup> setup = SetupFromJob(job, Program("stavel"));
        EXPECT_TRUE(setup) << setup.Failure().Describe();
        m_frame = new StationFrame(*setup, std::string("Ann"), boxesPerSlot);
        m_frame->Show();
        return *m_frame;
    }

    // Each tile's state word, and its detail where it has one.
    std::map<std::string, std::string> Words() const {
        std::map<std::string, std::string> words;
        for (const TilePanel* tile : m_frame->Tiles()) {
            const SlotLook& look = tile->Look();
            words[tile->Label()] = look.word + (look.detail.empty() ? "" : ": " + look.detail);
        }
        return words;
    }

    // What `window` shows, read back from the display.
    static wxImage Picture(wxWindow& window) {
        window.Update();
        const wxSize size = window.GetClientSize();
        wxBitmap bitmap(size.GetWidth(), size.GetHeight(), 24);
        {
            wxClientDC screen(&window);
            wxMemoryDC memory(bitmap);
            memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, 0, 0);
        }
        return bitmap.ConvertToImage();
    }

    static bool HasXdotool() {
        return ChildProcess({"sh", "-c", "command -v xdotool"}).Wait().status == 0;
    }

    // The items of `tile`'s menu, opened with a real right click on it and closed with Escape,
    // each marked where it cannot be chosen.
    std::vector<std::string> MenuOf(StationFrame& station, const TilePanel& tile) {
        std::vector<std::string> items;
        std::unique_ptr<ChildProcess> escape;
        bool closed = false;
        // The menu runs a loop of its own: the items are read, and Escape pressed, from within.
        const auto open = [&](wxMenuEvent& event) {
            if (event.GetMenu() != nullptr && !escape) {
                for (const wxMenuItem* item : event.GetMenu()->GetMenuItems()) {
                    if (!item->IsSeparator()) {
                        items.push_back(item->GetItemLabelText().utf8_string() +
                                        (item->IsEnabled() ? "" : " (off)"));
                    }
                }
                escape = std::make_unique<ChildProcess>(
                    std::vector<std::string>{"xdotool", "key", "Escape"});
            }
            event.Skip();
        };
        const auto close = [&](wxMenuEvent& event) {
            closed = true;
            event.Skip();
        };
        station.Bind(wxEVT_MENU_OPEN, open);
        station.Bind(wxEVT_MENU_CLOSE, close);
        const wxRect at = tile.GetScreenRect();
        ChildProcess click({"xdotool", "mousemove", std::to_string(at.GetX() + at.GetWidth() / 2),
                            std::to_string(at.GetY() + at.GetHeight() / 2), "click", "3"});
        EXPECT_TRUE(Pump([&] { return click.Ended().has_value() && closed; }))
            << click.Stderr() << ::testing::PrintToString(items);
        station.Unbind(wxEVT_MENU_OPEN, open);
        station.Unbind(wxEVT_MENU_CLOSE, close);
        return items;
    }

    static void Keep(const wxImage& picture, const std::string& name) {
        const std::string folder = std::string(STAVEL_BINARY_DIR) + "/artefacts";
        std::filesystem::create_directories(folder);
        picture.SaveFile(wxString::FromUTF8(folder + "/" + name), wxBITMAP_TYPE_PNG);
    }

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_sim;
    StationFrame* m_frame = nullptr;
};

// A record as two runs of one job must agree on it: what differs by nature (the record's id,
// its times, the pseudo-terminal behind the slot, the time in the log's name) left out.
Json Comparable(Json record) {
    for (const char* key : {"id", "start", "end", "seconds", "device"}) {
        record.erase(key);
    }
    // The box's start in the name: "20261207T153546.047Z".
    std::string logFile = JsonStringAt(record, "log_file");
    const std::size_t t = logFile.find('T', logFile.rfind('/') + 1);
    if (t != std::string::npos && t >= 8 && t + 12 <= logFile.size()) {
        logFile.replace(t - 8, 20, "TIME");
    }
    record["log_file"] = logFile;
    return record;
}

std::map<std::string, Json> BySlot(const std::string& report) {
    std::map<std::string, Json> records;
    std::istringstream lines(ReadBytes(report));
    for (std::string line; std::getline(lines, line);) {
        const std::optional<Json> record = ParseJsonObject(line);
        EXPECT_TRUE(record) << line;
        if (record) {
            records[JsonStringAt(*record, "slot")] = Comparable(*record);
        }
    }
    return records;
}

TEST_F(StationWindowTest, FourSlotsWithOneSilentBoxKeepTheirVerdictsWhenThePortsVanish) {
    WriteBytes(m_dir.File("image.sdl"), std::string(24000, 'i') + "the end");
    const std::string job = WriteJob(4, "timeout = 2\n");
    const std::vector<std::string> silent{"--fast", "--fail", "4:silent:8192"};

    // The command line's station first, for the records to compare with.
    Boxes(4, silent);
    ChildProcess line({Program("stavel"), "--job", job, "--loop", "--count", "1", "--quiet",
                       "--operator", "Ann"});
    EXPECT_EQ(line.Wait(std::chrono::seconds(60)).status, 1) << line.Stderr();
    m_sim->Wait(std::chrono::seconds(10));
    std::filesystem::rename(m_dir.File("boxes.jsonl"), m_dir.File("line.jsonl"));

    // The window serves box after box; once each slot has its verdict the boxes and their
    // ports go (the simulator ends), and each tile keeps its verdict with the port's state
    // beneath it.
    Boxes(4, silent);
    StationFrame& station = Open(job);
    station.SetSize(1280, 800);
    station.Start();
    const std::map<std::string, std::string> judged{
        {"A1", "PASS"}, {"A2", "PASS"}, {"A3", "PASS"}, {"A4", "FAIL: box silent for 2 s"}};
    ASSERT_TRUE(Pump([&] { return Words() == judged; })) << ::testing::PrintToString(Words());
    m_sim->Signal(SIGKILL);
    m_sim->Wait(std::chrono::seconds(10));
    const auto portsGone = [&] {
        for (const TilePanel* tile : station.Tiles()) {
            if (tile->Look().note.rfind("\u26A0 ", 0) != 0) {
                return false;
            }
        }
        return true;
    };
    ASSERT_TRUE(Pump(portsGone)) << station.Tiles()[0]->Look().note;
    EXPECT_EQ(Words(), judged);
    EXPECT_EQ(station.Tiles()[3]->Look().symbol, "\u2718");
    EXPECT_NE(station.Tiles()[0]->Look().note.find(m_dir.File("slot1")), std::string::npos)
        << station.Tiles()[0]->Look().note;
    Pump([] { return false; }, std::chrono::milliseconds(300));
    Keep(Picture(station), "station-4-slots.png");
    EXPECT_EQ(station.Totals().GetLabel().ToStdString().rfind("3 passed, 1 failed, yield 75 %", 0),
              0u)
        << station.Totals().GetLabel();
    EXPECT_EQ(station.Alarms(), 1) << "one failed box, one sound";
    station.StopNow();
    ASSERT_TRUE(Pump([&] { return station.LastEnd().has_value(); })) << "the station did not end";
    EXPECT_TRUE(station.LastEnd()->someFailed);
    EXPECT_EQ(Words(), judged) << "no box was in hand: stopping judges none";
    const std::map<std::string, Json> window = BySlot(m_dir.File("boxes.jsonl"));
    const std::map<std::string, Json> cli = BySlot(m_dir.File("line.jsonl"));
    ASSERT_EQ(window.size(), 4u);
    EXPECT_EQ(window, cli);
}

TEST_F(StationWindowTest, StopGentlyLetsTheBoxesInFlightFinish) {
    WriteBytes(m_dir.File("image.sdl"), std::string(40000, 'g'));
    Boxes(2, {});  // paced at 115200 baud: about 4 s a box
    StationFrame& station = Open(WriteJob(2, ""));
    station.Start();
    ASSERT_TRUE(Pump([&] {
        return Words() == std::map<std::string, std::string>{{"A1", "LOADING"}, {"A2", "LOADING"}};
    })) << ::testing::PrintToString(Words());
    // A click on the tile opens the slot's log, which grows with the box in hand.
    wxMouseEvent click(wxEVT_LEFT_UP);
    station.Tiles()[0]->GetEventHandler()->ProcessEvent(click);
    wxTextCtrl* log = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
        const auto* frame = dynamic_cast<wxTopLevelWindow*>(window);
        if (frame != nullptr && frame->GetTitle().StartsWith("Log of slot A1")) {
            log = dynamic_cast<wxTextCtrl*>(window->GetChildren().front());  // the log first
        }
    }
    ASSERT_NE(log, nullptr);
    ASSERT_TRUE(Pump([&] { return log->GetValue().Contains("Connected COM"); })) << log->GetValue();
    station.FinishGently();
    ASSERT_TRUE(Pump([&] { return station.LastEnd().has_value(); }));
    EXPECT_EQ(Words(), (std::map<std::string, std::string>{{"A1", "PASS"}, {"A2", "PASS"}}));
    // The judged box's file, under its verdict's name, is what the log shows now.
    const auto* logFrame = dynamic_cast<wxTopLevelWindow*>(log->GetParent());
    ASSERT_TRUE(Pump([&] { return logFrame->GetTitle().Contains("_PASS.log"); }))
        << logFrame->GetTitle();
    EXPECT_EQ(station.LastEnd()->signal, 0);
    EXPECT_FALSE(station.LastEnd()->someFailed);
    EXPECT_EQ(BySlot(m_dir.File("boxes.jsonl")).size(), 2u);
}

// The height of the last letter of the tile's state word: its cap height, on screen.
int CapHeight(const wxImage& picture, const wxRect& word) {
    const auto ink = [&](int x, int y) {
        // The word is drawn in white on the failure's red.
        return picture.GetRed(x, y) > 200 && picture.GetGreen(x, y) > 200;
    };
    int right = word.GetRight();
    const auto columnInk = [&](int x) {
        for (int y = word.GetTop(); y <= word.GetBottom(); ++y) {
            if (ink(x, y)) {
                return true;
            }
        }
        return false;
    };
    while (right > word.GetLeft() && !columnInk(right)) {
        --right;
    }
    int left = right;
    while (left > word.GetLeft() && columnInk(left - 1)) {
        --left;
    }
    int top = word.GetBottom() + 1;
    int bottom = word.GetTop() - 1;
    for (int x = left; x <= right; ++x) {
        for (int y = word.GetTop(); y <= word.GetBottom(); ++y) {
            if (ink(x, y)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    return bottom - top + 1;
}

TEST_F(StationWindowTest, SixteenTilesIn1280x800KeepTheStateWordLarge) {
    WriteBytes(m_dir.File("image.sdl"), "image");
    StationFrame& station = Open(WriteJob(16, ""));
    station.SetSize(1280, 800);
    SlotStatus failed;
    failed.slot = "A16";
    failed.state = SlotState::PortAbsent;
    failed.fails = 1;
    failed.last = LastVerdict{BoxResult::Fail, "port lost at 23 % (5.2 s)", "port-lost", "", {}};
    failed.port =
        PortProblem{PortTrouble::Absent, "/dev/ttyUSB15: open: No such file or directory"};
    station.OnSlot(failed);
    TilePanel& tile = *station.Tiles().back();
    Pump([&] { return false; }, std::chrono::milliseconds(500));
    ASSERT_EQ(tile.Look().word, "FAIL");
    const wxImage picture = Picture(tile);
    Keep(Picture(station), "station-16-tiles.png");
    const int cap = CapHeight(picture, tile.WordRect());
    std::printf("state word cap height with 16 tiles at 1280x800: %d px\n", cap);
    EXPECT_GE(cap, 24);
    if (HasXdotool()) {
        // A job without a label has nothing to print again; nothing is served before Start.
        EXPECT_EQ(MenuOf(station, tile),
                  (std::vector<std::string>{"Take out of service (the box in hand finishes) (off)",
                                            "Put back into service (off)", "Show its log"}));
    }

    // A failed box is heard; a passed one is not, nor anything once the operator muted it.
    BoxRecord record;
    record.id = "id-1";
    record.start = std::chrono::system_clock::now();
    record.slot = "A16";
    record.result = BoxResult::Fail;
    station.OnRecord("A16", BoxRecordLine(record));
    record.result = BoxResult::Pass;
    station.OnRecord("A16", BoxRecordLine(record));
    EXPECT_EQ(station.Alarms(), 1);
    SlotStatus out;
    out.slot = "A15";
    out.state = SlotState::TakenOut;
    station.OnSlot(out);
    station.OnSlot(out);
    EXPECT_EQ(station.Alarms(), 2) << "a slot taken out is heard once";
    station.SetSound(false);
    record.result = BoxResult::Fail;
    station.OnRecord("A16", BoxRecordLine(record));
    EXPECT_EQ(station.Alarms(), 2);
}

// One simulated box on a pseudo-terminal of its own, unpaced, with `options`; its port is
// linked as `link`.
std::unique_ptr<ChildProcess> OneBox(const std::string& image, const std::string& link,
                                     const std::vector<std::string>& options) {
    std::vector<std::string> args{Program("stbsim"), "--image", image, "--fast"};
    args.insert(args.end(), options.begin(), options.end());
    auto sim = std::make_unique<ChildProcess>(args);
    const std::string line = "stbsim: box on ";
    EXPECT_TRUE(sim->WaitForStdout("\n", 2)) << sim->Stderr();  // its port, then the image
    const std::string out = sim->Stdout();
    const std::size_t at = out.find(line);
    if (at != std::string::npos) {
        const std::size_t from = at + line.size();
        std::filesystem::remove(link);
        std::filesystem::create_symlink(out.substr(from, out.find('\n', from) - from), link);
    }
    return sim;
}

// A line to a simulated box's power input, as its switch would give it.
void Power(const std::string& fifo, const std::string& word) {
    const UniqueFd fd(open(fifo.c_str(), O_WRONLY | O_CLOEXEC));
    const std::string line = word + "\n";
    EXPECT_EQ(write(fd.Get(), line.data(), line.size()), static_cast<ssize_t>(line.size()));
}

// The slot's records in the report, read with the record's codec.
std::vector<BoxRecord> RecordsOf(const std::string& report, const std::string& slot) {
    std::vector<BoxRecord> records;
    std::istringstream lines(ReadBytes(report));
    for (std::string line; std::getline(lines, line);) {
        const std::optional<BoxRecord> record = ParseBoxRecord(line);
        EXPECT_TRUE(record) << line;
        if (record && record->slot == slot) {
            records.push_back(*record);
        }
    }
    return records;
}

// A job that requires each box's scan, served from the window with real keys typed into its scan
// field (xdotool, as a keyboard-wedge scanner types): A1's box prints its serial number in its
// banner (switched on once the slot listens, so the banner is heard), A2's boxes print none and
// are known by their scans alone. A refusal changes nothing; a selected slot takes the next scan
// and loads while the other's box stays held at its START; a box that passed, scanned again, and
// a box whose console names another id than its scan each FAIL before any image byte. The one
// box that passes was scanned with an id made of the label language's own commands: its label
// reaches the printer's raw port once, the id escaped, and the tile's menu offers to print it
// again.
TEST_F(StationWindowTest, ScansTypedIntoTheFieldReachTheirSlotsAndHoldEveryOtherBox) {
    if (!HasXdotool()) {
        GTEST_SKIP() << "xdotool is missing (scripts/install-deps.sh installs it)";
    }
    const std::string image = m_dir.File("image.sdl");
    WriteBytes(image, std::string(20000, 's') + "the end");
    const std::string power = m_dir.File("power-a1");
    const std::unique_ptr<ChildProcess> a1 =
        OneBox(image, m_dir.File("slot1"), {"--serial", "SNA", "--power-fifo", power});
    Power(power, "off");
    ASSERT_TRUE(a1->WaitForStdout("power off")) << a1->Stdout();
    const std::unique_ptr<ChildProcess> a2 = OneBox(image, m_dir.File("slot2"), {"--boxes", "3"});
    RawPort printer;
    ASSERT_NE(printer.Port(), 0);
    WriteBytes(m_dir.File("pass.zpl"), "^XA\n^FO40,30^FD{box_id} {job} {slot}^FS\n^XZ\n");
    StationFrame& station =
        Open(WriteJob(2,
                      "timeout = 30\nbox_id = 'Serial number: (\\w+)'\n"
                      "scan = \"required\"\nrepeats = \"block\"\nlabel = \"pass.zpl\"\n"
                      "printer = \"tcp://127.0.0.1:" +
                          std::to_string(printer.Port()) + "\"\n"));
    ASSERT_NE(station.Scans(), nullptr);
    station.Start();
    ASSERT_TRUE(Pump([&] {
        return Words() == std::map<std::string, std::string>{{"A1", "READY"}, {"A2", "SCAN BOX"}};
    })) << ::testing::PrintToString(Words());
    Power(power, "on");
    const TilePanel& t1 = *station.Tiles()[0];
    const TilePanel& t2 = *station.Tiles()[1];
    ASSERT_TRUE(Pump([&] { return t1.Look().word == "SCAN BOX" && t1.Look().scanNext; }))
        << t1.Look().word;
    EXPECT_EQ(t1.Look().scan, "\u25B8 scan next");
    EXPECT_EQ(t2.Look().scan, "waits for a scan");

    std::string window;
    Pump([&] {
        ChildProcess search({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                             std::to_string(getpid()), "--name", "^Stavel Station$"});
        Pump([&] { return search.Ended().has_value(); });
        window = search.Stdout().substr(0, search.Stdout().find('\n'));
        return !window.empty();
    });
    ASSERT_FALSE(window.empty());
    const auto type = [&](const std::string& text) {
        ChildProcess keys(
            {"xdotool", "windowfocus", "--sync", window, "type", "--delay", "5", text + "\n"});
        ASSERT_TRUE(Pump([&] { return keys.Ended().has_value(); })) << keys.Stderr();
    };
    const auto says = [&](const std::string& text) {
        return Pump([&] {
            return station.Scans()->NewsLine().GetLabelText().utf8_string().find(text) !=
                   std::string::npos;
        });
    };
    // The event list, each line with its local time ("14:02:11  ...").
    const auto listed = [&](const std::string& text) {
        const wxListBox& notes = station.Notes();
        for (unsigned i = 0; i < notes.GetCount(); ++i) {
            const std::string line = notes.GetString(i).utf8_string();
            if (line.size() > 10 && line[2] == ':' && line[5] == ':' && line.substr(10) == text) {
                return true;
            }
        }
        return false;
    };

    // A refusal stands out on the line and changes nothing; what was scanned shows as typed.
    type("SLOT:Z&1");
    ASSERT_TRUE(says("no slot Z&1")) << station.Scans()->NewsLine().GetLabelText();
    EXPECT_EQ(station.Scans()->NewsLine().GetLabelText().utf8_string(),
              "\u26A0 scan refused: no slot Z&1");
    EXPECT_TRUE(station.Scans()->ShowsRefusal());
    EXPECT_TRUE(listed("scan refused: no slot Z&1"));
    EXPECT_TRUE(t1.Look().scanNext);
    EXPECT_FALSE(t2.Look().scanNext);

    // A slot selected takes the next scan, though a button had taken the focus meanwhile: the
    // field took it back, so the scanner's Enter pressed no button.
    type("slot:A2");
    ASSERT_TRUE(says("A2: the next scan goes to this slot"));
    EXPECT_FALSE(station.Scans()->ShowsRefusal());
    ASSERT_TRUE(Pump([&] { return t2.Look().scanNext && !t1.Look().scanNext; }));
    Pump([] { return false; }, std::chrono::milliseconds(300));
    Keep(Picture(station), "station-scan.png");
    wxWindow::FindWindowByLabel("Stop gently", &station)->SetFocus();
    Pump([] { return false; }, std::chrono::milliseconds(200));
    // Typed as a scanner would: '^' and '~' are shifted keys.
    const std::string hostile = "X^XA^FDpwned^FS~JR";
    type(hostile);
    ASSERT_TRUE(says("A2: box " + hostile + " scanned"))
        << station.Scans()->NewsLine().GetLabelText();
    EXPECT_TRUE(listed("A2: box " + hostile + " scanned"));
    const std::string report = m_dir.File("boxes.jsonl");
    ASSERT_TRUE(Pump([&] { return RecordsOf(report, "A2").size() == 1; }));
    const BoxRecord loaded = RecordsOf(report, "A2")[0];
    EXPECT_EQ(loaded.result, BoxResult::Pass) << loaded.reason;
    EXPECT_EQ(loaded.boxId, hostile);
    EXPECT_EQ(loaded.label, std::optional<bool>(true)) << "printed before its record";
    EXPECT_EQ(loaded.bytes, 20007);
    EXPECT_EQ(t1.Look().word, "SCAN BOX") << "its box is held while the other loads";
    EXPECT_EQ(a1->Stdout().find("STB_START answered"), std::string::npos) << a1->Stdout();

    // The box that passed, scanned again, gets no byte.
    ASSERT_TRUE(Pump([&] { return t2.Look().word == "SCAN BOX"; })) << t2.Look().word;
    EXPECT_TRUE(t1.Look().scanNext) << "the next scan goes to the next slot that waits";
    type("A2 " + hostile);
    ASSERT_TRUE(says("A2: box " + hostile + " scanned; it gets no byte: box " + hostile +
                     " already passed"))
        << station.Scans()->NewsLine().GetLabelText();
    ASSERT_TRUE(Pump([&] { return RecordsOf(report, "A2").size() == 2; }));
    const BoxRecord repeat = RecordsOf(report, "A2")[1];
    EXPECT_EQ(repeat.result, BoxResult::Fail);
    EXPECT_EQ(repeat.reasonCode, "box-repeat") << repeat.reason;
    EXPECT_EQ(repeat.bytes, 0);
    EXPECT_EQ(repeat.label, std::nullopt) << "no label is due for a box that failed";

    // A box whose console names another id than its scan gets no byte either.
    type("SN-A9");
    ASSERT_TRUE(says("A1: box SN-A9 scanned"));
    ASSERT_TRUE(Pump([&] { return RecordsOf(report, "A1").size() == 1; }));
    const BoxRecord wrong = RecordsOf(report, "A1")[0];
    EXPECT_EQ(wrong.result, BoxResult::Fail);
    EXPECT_EQ(wrong.reasonCode, "box-mismatch");
    EXPECT_EQ(wrong.reason, "wrong box in socket: scanned SN-A9, box says SNA");
    EXPECT_EQ(wrong.bytes, 0);
    EXPECT_EQ(wrong.label, std::nullopt);

    // A right click on a tile opens its menu, as the operator does to print a label again.
    EXPECT_EQ(MenuOf(station, t2),
              (std::vector<std::string>{"Take out of service (the box in hand finishes)",
                                        "Put back into service (off)", "Print label again",
                                        "Show its log"}));

    station.StopNow();
    ASSERT_TRUE(Pump([&] { return station.LastEnd().has_value(); }));
    for (const auto& sim : {a1.get(), a2.get()}) {
        sim->Signal(SIGTERM);
        sim->Wait(std::chrono::seconds(10));
    }
    EXPECT_EQ(a1->Stdout().find("STB_START answered"), std::string::npos) << a1->Stdout();
    const std::string served = a2->Stdout();
    EXPECT_NE(served.find("box 1: 20007 image bytes received and checked"), std::string::npos)
        << served;
    EXPECT_EQ(served.find("box 2: STB_START answered"), std::string::npos) << served;
    // One label for the one box that passed, the commands in its id escaped.
    EXPECT_EQ(printer.Labels(),
              std::vector<std::string>{
                  "^XA\n^FO40,30^FH_^FDX_5EXA_5EFDpwned_5EFS_7EJR bench-4 A2^FS\n^XZ\n"});
}

}  // namespace
