#pragma once

// The wxDialog of one running CDialog: sized from the template, one bound widget per template
// item in tab order. The main dialog's window can be resized and maximised (MainWindowAids.h);
// other dialogs keep the template's size, without minimize or maximize box. The dialog's own window
// is observed too (its title and icons). Keys, the close box and the window menu reach the model as
// the operator's input: Escape and Enter go through the dialog's PreTranslateMessage (the main
// dialog swallows them; the About box ends on them), the close box is the window menu's Close, and
// the window menu, which desktop window managers do not let a program extend, opens on a right
// click on the dialog's face or with Alt+Space.
//
// Threading rules: UI thread only.

#include <memory>
#include <vector>

#include <wx/dialog.h>

#include "platform/window/WindowObserver.h"

class CDialog;
class CWnd;
class MainWindowAids;
class WidgetBinding;

class WxDialogWindow : public wxDialog, private WindowObserver {
  public:
    WxDialogWindow(wxWindow* parent, CDialog& dialog);
    ~WxDialogWindow() override;

    CDialog& Dialog() { return m_dialog; }
    // Brings every widget into line with the model (after the dialog initialised).
    void SyncFromModel();
    // Lets go of the model: no widget follows it any more.
    void Unbind();
    // The binding of control `id`, or null.
    WidgetBinding* Binding(int id) const;
    // What the main dialog's window adds (verdict, resizing, dropped files), or null.
    MainWindowAids* Aids() const { return m_aids.get(); }

    // The operator's input, also what the test-only control channel sends.
    void PressKey(int virtualKey);
    void ShowWindowMenu(const wxPoint& where);
    // The window menu's item with command `id`, as if chosen.
    void ChooseMenuCommand(unsigned id);

  private:
    void OnTextChanged(CWnd& model) override;
    void OnIconChanged(CWnd& model) override;
    void OnCharHook(wxKeyEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);

    CDialog& m_dialog;
    bool m_observing = false;
    std::vector<std::unique_ptr<WidgetBinding>> m_bindings;
    std::unique_ptr<MainWindowAids> m_aids;
};
