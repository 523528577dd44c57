#pragma once

// What the window says about the last box, in words beside the lamp: PASS or FAIL with the
// verdict line the command line prints (download/BoxVerdict.h), and for a connection or a start
// that failed, the device or file, the system's reason and what to do about it.
//
// The watch hears the dialog's download events and sees the START button's text set back to
// "Start", which every way of ending a download or a start goes through. A box that ends with an
// event (EXIT_APP, port lost, ...) is judged at once; a download that ended without one was
// stopped by the operator, and is judged once the stop's handling is over (unless the box never
// spoke: there was no box to judge). A start that ends before a download ran failed for the
// reason the dialog kept. START clears what was shown, unless the port it reconnected would not
// open.
//
// Threading rules: UI thread only.

#include <functional>
#include <memory>
#include <string>

#include "download/BoxVerdict.h"
#include "download/DownloadEvents.h"
#include "platform/window/WindowObserver.h"

class CMainDialog;

struct VerdictShown {
    enum class Kind { None, Pass, Fail };
    Kind kind = Kind::None;
    std::string word;    // "PASS", "FAIL" or ""
    std::string detail;  // the verdict line, or the reason and what to do
};

class VerdictWatch : private WindowObserver {
  public:
    using Show = std::function<void(const VerdictShown&)>;
    VerdictWatch(CMainDialog& dialog, Show show);
    ~VerdictWatch() override;
    VerdictWatch(const VerdictWatch&) = delete;
    VerdictWatch& operator=(const VerdictWatch&) = delete;

    void OnEvent(DownloadEvent event);
    const VerdictShown& Shown() const { return m_shown; }

  private:
    void OnTextChanged(CWnd& model) override;
    void AfterStop(bool boxWasOpen);
    void Judge(BoxEnd end, const BoxEndDetail& detail);
    void ShowFailure(const std::string& what, const std::string& advice);
    void Set(VerdictShown shown);
    std::string PortLabel(std::string* device) const;

    CMainDialog& m_dialog;
    Show m_show;
    VerdictShown m_shown;
    HWND m_start = kNoWindow;  // the START button
    bool m_boxOpen = false;    // a download started and has not been judged
    std::shared_ptr<VerdictWatch*> m_self;
};

// The words for a port that would not open: "<device>: <reason>. <what to do>".
VerdictShown PortFailureShown(const std::string& described, const std::string& advice);
