#pragma once

// The application object: prepares what the dialog needs, runs the main dialog modally, and
// ends the program when the dialog ends. A host installs itself (platform/host/Host.h) before
// InitInstance and may adjust the dialog before it runs.

#include <functional>

#include "platform/base/Win32Types.h"

class CMainDialog;
class CWnd;

class CDownloadApp {
  public:
    CDownloadApp();
    virtual ~CDownloadApp() = default;

    // Called with the dialog after it is made and before it runs.
    void SetDialogSetup(std::function<void(CMainDialog&)> setup) { m_setup = std::move(setup); }

    // Always 0: the program ends when the dialog does; there is no message loop after it.
    virtual BOOL InitInstance();

    // The dialog while it runs, else null.
    CWnd* m_pMainWnd = nullptr;

  private:
    std::function<void(CMainDialog&)> m_setup;
};
