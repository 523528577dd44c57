#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/gdi/GdiTypes.h"
#include "platform/window/ComboBox.h"
#include "platform/window/PaintDC.h"
#include "platform/window/RichEditCtrl.h"
#include "tests/support/testhost/ControlMessages.h"
#include "tests/support/testhost/TestHost.h"

namespace {

CreateParams Params(ControlKind kind, int id, std::string text = {}) {
    CreateParams p;
    p.kind = kind;
    p.id = id;
    p.text = std::move(text);
    p.style = WS_CHILD | WS_VISIBLE;
    p.placement = WindowPlacement{0, 0, 40, 10};
    return p;
}

// Writes down every notification as a short line.
class Recorder : public WindowObserver {
  public:
    std::vector<std::string> log;
    void OnTextChanged(CWnd& w) override { log.push_back("text " + w.GetWindowText()); }
    void OnTextInserted(CWnd&, std::size_t at, std::size_t replaced,
                        std::string_view text) override {
        log.push_back("insert " + std::to_string(at) + " " + std::to_string(replaced) + " " +
                      std::string(text));
    }
    void OnScrolledToBottom(CWnd&) override { log.push_back("bottom"); }
    void OnEnabledChanged(CWnd& w) override {
        log.push_back("enabled " + std::to_string(w.IsWindowEnabled()));
    }
    void OnVisibleChanged(CWnd& w) override {
        log.push_back("visible " + std::to_string(w.IsWindowVisible()));
    }
    void OnComboItemsChanged(CWnd&) override { log.push_back("items"); }
    void OnComboSelectionChanged(CWnd& w) override {
        log.push_back("sel " + std::to_string(w.SendMessage(CB_GETCURSEL)));
    }
    void OnDestroyed(CWnd&) override { log.push_back("destroyed"); }
};

TEST(WindowControlsTest, RichEditAppendsAtTheEndAndTellsOnlyTheInsertion) {
    TestHost host;
    CRichEditCtrl edit;
    edit.Create(Params(ControlKind::RichEdit, 1), nullptr);
    Recorder recorder;
    edit.AddObserver(&recorder);
    edit.SetWindowText("hello");
    // A selection the operator made is not replaced once the selection goes to the end.
    edit.SetSel(0, 2);
    edit.SetSel(-1, -1);
    ReplaceSelection(edit, " world");
    EXPECT_EQ(edit.Text(), "hello world");
    // (0, -1) selects everything; replacing it is one insertion that reports what it replaced.
    edit.SetSel(0, -1);
    ReplaceSelection(edit, "new");
    edit.SendMessage(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(edit.Text(), "new");
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"text hello", "insert 5 0  world",
                                                      "insert 0 11 new", "bottom"}));
    edit.RemoveObserver(&recorder);
    ReplaceSelection(edit, "!");
    EXPECT_EQ(recorder.log.size(), 4u);
    EXPECT_EQ(edit.Text(), "new!");
}

TEST(WindowControlsTest, ComboBoxKeepsItsListAndSelectionLikeTheRealControl) {
    TestHost host;
    CComboBox combo;
    combo.Create(Params(ControlKind::ComboBox, 2), nullptr);
    Recorder recorder;
    combo.AddObserver(&recorder);
    EXPECT_EQ(ComboSelection(combo), CB_ERR);
    EXPECT_EQ(ComboInsert(combo, 0, "COM2"), 0);
    EXPECT_EQ(ComboInsert(combo, 0, "COM1"), 0);
    EXPECT_EQ(ComboInsert(combo, -1, "COM3"), 2);
    EXPECT_EQ(ComboInsert(combo, 9, "x"), CB_ERR);
    EXPECT_EQ(ComboSelect(combo, 1), 1);
    EXPECT_EQ(ComboText(combo, 1), "COM2");
    EXPECT_EQ(ComboText(combo, 5), "");
    // An index outside the list clears the selection: a stored port 51 selects nothing.
    EXPECT_EQ(ComboSelect(combo, 50), CB_ERR);
    EXPECT_EQ(ComboSelection(combo), CB_ERR);
    EXPECT_EQ(recorder.log,
              (std::vector<std::string>{"items", "items", "items", "sel 1", "sel -1"}));
}

TEST(WindowControlsTest, StateChangesReachObserversAndSubclassingKeepsTheWindow) {
    TestHost host;
    CWnd parent;
    parent.Create(Params(ControlKind::Dialog, 0), nullptr);
    auto original = std::make_unique<CWnd>();
    original->Create(Params(ControlKind::CheckBox, 7, "Debug"), &parent);
    const HWND hwnd = original->m_hWnd;
    Recorder recorder;
    original->AddObserver(&recorder);
    original->SendMessage(BM_SETCHECK, BST_CHECKED);

    CWnd member;
    ASSERT_TRUE(member.SubclassWindow(hwnd));
    EXPECT_EQ(original->m_hWnd, kNoWindow);
    EXPECT_EQ(member.m_hWnd, hwnd);
    EXPECT_EQ(CWnd::FromHandle(hwnd), &member);
    EXPECT_EQ(parent.GetDlgItem(7), &member);
    EXPECT_EQ(member.SendMessage(BM_GETCHECK), BST_CHECKED);
    original.reset();  // the empty shell goes without taking the window along
    EXPECT_EQ(CWnd::FromHandle(hwnd), &member);

    EXPECT_EQ(member.EnableWindow(0), 0);
    EXPECT_EQ(member.EnableWindow(0), 1);
    EXPECT_NE(member.GetStyle() & WS_DISABLED, 0u);
    EXPECT_EQ(member.ShowWindow(SW_HIDE), 1);
    EXPECT_TRUE(member.ModifyStyle(0, PBS_MARQUEE));
    EXPECT_FALSE(member.ModifyStyle(0, PBS_MARQUEE));
    parent.DestroyWindow();
    EXPECT_EQ(member.m_hWnd, kNoWindow);
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"enabled 0", "visible 0", "destroyed"}));
}

// Fills its client area with one colour in every paint and counts its timer ticks.
class Swatch : public CWnd {
  public:
    COLORREF colour = RGB(255, 0, 0);
    std::vector<UINT_PTR> ticks;

  protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry kEntries[] = {MapPaint<&Swatch::OnPaint>(),
                                                   MapTimer<&Swatch::OnTimer>(),
                                                   MapEraseBkgnd<&Swatch::OnEraseBkgnd>()};
        static const MessageMap kMap{CWnd::ThisMessageMap(), kEntries};
        return &kMap;
    }
    void OnPaint() {
        CPaintDC dc(this);
        RECT client;
        GetClientRect(&client);
        // Must not leak into the next paint: each paint starts from a fresh context.
        EXPECT_EQ(dc.GetTextColor(), RGB(0, 0, 0));
        dc.SetTextColor(colour);
        dc.FillSolidRect(client, colour);
    }
    void OnTimer(UINT_PTR id) { ticks.push_back(id); }
    BOOL OnEraseBkgnd(CDC*) { return 1; }
};

TEST(WindowControlsTest, RepaintIsSynchronousIntoARasterOfTheClientSize) {
    TestHost host;
    Swatch swatch;
    CreateParams params = Params(ControlKind::Static, 3);
    params.placement = WindowPlacement{5, 5, 30, 12};
    swatch.Create(params, nullptr);
    swatch.RedrawWindow();
    RasterDevice* surface = host.Surface(swatch.m_hWnd);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(surface->Width(), 30);
    EXPECT_EQ(surface->Height(), 12);
    EXPECT_EQ(surface->GetPixel(29, 11), RGB(255, 0, 0));
    swatch.colour = RGB(0, 0, 255);
    EXPECT_EQ(host.Paint(swatch).GetPixel(0, 0), RGB(0, 0, 255));
    EXPECT_EQ(host.PaintCount(swatch.m_hWnd), 2);
}

TEST(WindowControlsTest, TimersFireOnTheManualClockUntilKilled) {
    TestHost host;
    Swatch swatch;
    swatch.Create(Params(ControlKind::Static, 4), nullptr);
    EXPECT_EQ(swatch.SetTimer(1, 100), 1u);
    swatch.SetTimer(2, 250);
    host.Advance(std::chrono::milliseconds(99));
    EXPECT_TRUE(swatch.ticks.empty());
    host.Advance(std::chrono::milliseconds(401));
    EXPECT_EQ(swatch.ticks, (std::vector<UINT_PTR>{1, 1, 2, 1, 1, 1, 2}));
    swatch.KillTimer(1);
    swatch.ticks.clear();
    host.Advance(std::chrono::milliseconds(500));
    EXPECT_EQ(swatch.ticks, (std::vector<UINT_PTR>{2, 2}));
    // A window that goes takes its timers with it.
    swatch.DestroyWindow();
    host.Advance(std::chrono::milliseconds(500));
    EXPECT_EQ(swatch.ticks.size(), 2u);
}

}  // namespace
