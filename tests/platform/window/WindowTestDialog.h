#pragma once

// A small dialog for the window-layer tests: a template with a default button, a check box, a
// combo box, a rich edit and an icon, and a dialog class with a message map.

#include <string>
#include <vector>

#include "platform/window/Button.h"
#include "platform/window/ComboBox.h"
#include "platform/window/Dialog.h"
#include "platform/window/RichEditCtrl.h"
#include "tests/support/testhost/ControlMessages.h"

namespace window_test {

inline constexpr UINT kTemplateId = 9100;
inline constexpr int kStart = 1000;
inline constexpr int kCheck = 1010;
inline constexpr int kCombo = 1002;
inline constexpr int kLog = 1001;
inline constexpr int kIcon = 1007;
inline constexpr UINT kUserMessage = WM_USER + 1;

inline void RegisterTestTemplate() {
    DialogTemplate t;
    t.id = kTemplateId;
    t.caption = "Test dialog";
    t.cx = 319;
    t.cy = 291;
    t.fontFace = "MS Sans Serif";
    t.pointSize = 8;
    t.style = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const DWORD child = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
    t.items = {
        {IDOK, ControlKind::Button, "EXIT", 0, 262, 262, 50, 22, child | BS_DEFPUSHBUTTON, 0},
        {kStart, ControlKind::Button, "START", 0, 7, 262, 129, 22, child, 0},
        {kLog, ControlKind::RichEdit, "", 0, 7, 79, 305, 179, child | ES_MULTILINE | ES_READONLY,
         0},
        {kCombo, ControlKind::ComboBox, "", 0, 236, 33, 52, 277, child | CBS_DROPDOWNLIST, 0},
        {kIcon, ControlKind::StaticIcon, "", 131, 294, 34, 20, 20, WS_CHILD | WS_VISIBLE | SS_ICON,
         0},
        {kCheck, ControlKind::CheckBox, "Debug Mode Enable", 0, 7, 35, 80, 10,
         child | BS_AUTOCHECKBOX, 0},
    };
    RegisterDialogTemplate(t);
}

// Records what reaches its handlers; swallows Escape when asked to.
class TestDialog : public CDialog {
  public:
    TestDialog() : CDialog(kTemplateId) {}

    CButton m_btnStart;
    CButton m_chkDebug;
    CComboBox m_combo;
    CRichEditCtrl m_log;
    std::vector<std::string> events;
    bool swallowEscape = false;

  protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry kEntries[] = {
            MapCommand<&TestDialog::OnStart>(kStart, BN_CLICKED),
            MapCommand<&TestDialog::OnPortChanged>(kCombo, CBN_SELCHANGE),
            MapMessage<&TestDialog::OnUser>(kUserMessage),
            MapSysCommand<&TestDialog::OnSysCommand>(),
        };
        static const MessageMap kMap{CDialog::ThisMessageMap(), kEntries};
        return &kMap;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Control(dx, kCheck, m_chkDebug);
        DDX_Control(dx, kCombo, m_combo);
        DDX_Control(dx, kLog, m_log);
        DDX_Control(dx, kStart, m_btnStart);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        events.push_back("init");
        for (int i = 0; i < 3; ++i) {
            ComboInsert(m_combo, i, "COM" + std::to_string(i + 1));
        }
        ComboSelect(m_combo, 0);
        return 1;
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (swallowEscape && msg->wParam == VK_ESCAPE) {
            return 1;
        }
        return CDialog::PreTranslateMessage(msg);
    }
    void OnStart() { events.push_back("start"); }
    void OnPortChanged() { events.push_back("port " + std::to_string(ComboSelection(m_combo))); }
    LRESULT OnUser(WPARAM wParam, LPARAM lParam) {
        events.push_back("user " + std::to_string(wParam) + " " + std::to_string(lParam));
        return 42;
    }
    void OnSysCommand(UINT id, LPARAM lParam) {
        events.push_back("syscommand " + std::to_string(id));
        if (id != 0x0010) {
            CWnd::OnSysCommand(id, lParam);
        }
    }
};

}  // namespace window_test
