#pragma once

// What the desktop window adds around the main dialog for an operator who stands at it for a
// shift: the verdict beside the lamp (VerdictLabel, VerdictWatch), a window that can be resized
// and maximised, the verdict and the port list growing with it and the log taking the rest
// (Anchors.h), whose size and place are remembered in a file of their own beside the settings
// (WindowPlace.h; the client area's size, never below the template's), and an image file dropped
// on the window taken as "..." takes a chosen one.
//
// Threading rules: UI thread only.

#include <map>
#include <memory>
#include <string>

#include <wx/arrstr.h>

#include "hosts/wx/Anchors.h"
#include "hosts/wx/VerdictLabel.h"
#include "hosts/wx/VerdictWatch.h"
#include "hosts/wx/WindowPlace.h"
#include "platform/base/Win32Types.h"

class CMainDialog;
class WxDialogWindow;
class wxSizeEvent;

class MainWindowAids {
  public:
    MainWindowAids(WxDialogWindow& window, CMainDialog& dialog);
    ~MainWindowAids();

    // After the dialog initialised (its settings are open): the remembered size and place.
    void Restore();
    // Before the window goes: the size and place are stored in the window file.
    void Remember();
    // The files dropped on the window; answers whether one was taken as the image.
    bool DropFiles(const wxArrayString& files);
    // A name for the log's file: the port and the time ("Stavel_COM7_20261207-034512.log").
    std::string LogFileName() const;
    // "Save Log As...": asks where, then writes the log's text as it shows. An error is told in
    // a message box with the system's reason.
    void SaveLog();
    // Writes the log's text to `path`; false with the system's reason.
    bool WriteLog(const std::string& path, std::string& error) const;

    const VerdictShown& Verdict() const { return m_watch.Shown(); }
    VerdictLabel& Label() { return m_label; }

  private:
    void OnSizeEvent(wxSizeEvent& event);
    void OnSize();
    // How much wider than the template's the port list must be to show its entries whole.
    int PortListNeed() const;

    WxDialogWindow& m_window;
    CMainDialog& m_dialog;
    VerdictLabel m_label;
    VerdictWatch m_watch;
    struct Place {
        WindowPlacement placement;
        Anchor anchor;
    };
    std::map<HWND, Place> m_template;  // each control's place in a window of the template's size
    wxSize m_templateSize;
    bool m_restored = false;
    std::string m_placeFile;
    WindowPlace m_place;  // as restored, then as the window is left
};
